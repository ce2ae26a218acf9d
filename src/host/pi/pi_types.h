// The filter plug-in interface as hosts pass it: the filter record, the about
// record, the handle, buffer and descriptor suites, colour services, the
// big-document block and the binary property-list and terminology resources.
//
// Field order and types follow the public binary layout of the interface, so
// that the same structures match what a host passes on 32- and 64-bit Windows:
// only the filter record and the big-document record are laid out under 4-byte
// packing (on 64-bit a pointer in them may sit on a 4-byte boundary); the
// suites (handle, buffer, descriptor read and write, colour services), the
// about record, the descriptor parameters and the platform data keep natural
// alignment (8 on 64-bit); the filter-case records of the property list use
// 1-byte packing. Every build, Linux included, uses this same layout.
// Photoshop's 32-bit `long` is `int32` here (never the C `long`, which is
// 64-bit on Linux).
//
// This header includes no system header, so that it can be checked by a
// compiler for another pointer size without that target's C library
// (see pi_layout.cpp).
#pragma once

namespace tv::pi {

using int8 = signed char;
using uint8 = unsigned char;
using int16 = short;
using uint16 = unsigned short;
using int32 = int;
using uint32 = unsigned int;
using int64 = long long;
using intptr = __INTPTR_TYPE__;
static_assert(sizeof(int16) == 2 && sizeof(int32) == 4 && sizeof(int64) == 8);
static_assert(sizeof(intptr) == sizeof(void*));

using Boolean = uint8;
using OSErr = int16;
using OSType = uint32;
using Fixed = int32;  // 16.16 fixed point
using Ptr = char*;

// A host handle: movable memory the host owns; lockProc turns it into a pointer.
struct HandleOpaque;
using Handle = HandleOpaque*;
struct BufferOpaque;
using BufferID = BufferOpaque*;
struct SPBasicSuite;             // the basic suite (not used by this module)
struct ReadImageDocumentDesc;    // document description (not used)
struct ChannelPortProcs;         // channel ports (not used)
struct ImageServicesProcs;       // image services (not used)
struct PropertyProcs;            // property suite (not used)
struct ResourceProcs;            // resource suite (not used)

constexpr OSType fourCC(char a, char b, char c, char d) {
    return (uint32(uint8(a)) << 24) | (uint32(uint8(b)) << 16) | (uint32(uint8(c)) << 8) | uint32(uint8(d));
}

// ---- Selectors and result codes ---------------------------------------------
constexpr int16 kSelectorAbout = 0;
constexpr int16 kSelectorParameters = 1;
constexpr int16 kSelectorPrepare = 2;
constexpr int16 kSelectorStart = 3;
constexpr int16 kSelectorContinue = 4;
constexpr int16 kSelectorFinish = 5;

constexpr OSErr noErr = 0;
constexpr OSErr paramErr = -50;
constexpr OSErr memFullErr = -108;
constexpr OSErr userCanceledErr = -128;
constexpr OSErr errMissingParameter = -1715;
constexpr OSErr filterBadParameters = -30100;
constexpr OSErr filterBadMode = -30101;

// ---- Image modes, filter cases, play information -----------------------------
constexpr int16 kModeBitmap = 0;
constexpr int16 kModeGrayScale = 1;
constexpr int16 kModeIndexedColor = 2;
constexpr int16 kModeRGBColor = 3;
constexpr int16 kModeCMYKColor = 4;
constexpr int16 kModeHSLColor = 5;
constexpr int16 kModeHSBColor = 6;
constexpr int16 kModeMultichannel = 7;
constexpr int16 kModeDuotone = 8;
constexpr int16 kModeLabColor = 9;
constexpr int16 kModeGray16 = 10;
constexpr int16 kModeRGB48 = 11;
constexpr int16 kModeLab48 = 12;
constexpr int16 kModeCMYK64 = 13;
constexpr int16 kModeDeepMultichannel = 14;
constexpr int16 kModeDuotone16 = 15;
constexpr int16 kModeRGB96 = 16;
constexpr int16 kModeGray32 = 17;

constexpr int16 kFilterCaseUnsupported = -1;
constexpr int16 kFilterCaseFlatImageNoSelection = 1;
constexpr int16 kFilterCaseFlatImageWithSelection = 2;
constexpr int16 kFilterCaseFloatingSelection = 3;
constexpr int16 kFilterCaseEditableTransparencyNoSelection = 4;
constexpr int16 kFilterCaseEditableTransparencyWithSelection = 5;
constexpr int16 kFilterCaseProtectedTransparencyNoSelection = 6;
constexpr int16 kFilterCaseProtectedTransparencyWithSelection = 7;

constexpr int16 plugInDialogDontDisplay = 0;
constexpr int16 plugInDialogDisplay = 1;
constexpr int16 plugInDialogSilent = 2;
constexpr int16 plugInDialogOptional = 0;  // record information
constexpr int16 plugInDialogRequired = 1;
constexpr int16 plugInDialogNone = 2;

constexpr OSType kHostPhotoshop8 = fourCC('P', 'S', 'P', '8');
constexpr OSType kHostPhotoshop9 = fourCC('P', 'S', 'P', '9');

// ---- Geometry ------------------------------------------------------------------
struct Point16 {
    int16 v, h;
};
struct Rect16 {
    int16 top, left, bottom, right;
};
struct VPoint {
    int32 v, h;
};
struct VRect {
    int32 top, left, bottom, right;
};
struct RGBColor {
    uint16 red, green, blue;
};
using FilterColor = uint8[4];

struct PlugInMonitor {
    Fixed gamma;
    Fixed redX, redY;
    Fixed greenX, greenY;
    Fixed blueX, blueY;
    Fixed whiteX, whiteY;
    Fixed ambient;
};

struct PlatformData {
    intptr hwnd;  // the host's main window
};

// ---- Handle suite ----------------------------------------------------------
using NewPIHandleProc = Handle (*)(int32 size);
using DisposePIHandleProc = void (*)(Handle h);
using GetPIHandleSizeProc = int32 (*)(Handle h);
using SetPIHandleSizeProc = OSErr (*)(Handle h, int32 newSize);
using LockPIHandleProc = Ptr (*)(Handle h, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle h);
using RecoverSpaceProc = void (*)(int32 size);
using DisposeRegularHandlePIHandleProc = void (*)(Handle h);

constexpr int16 kCurrentHandleProcsVersion = 1;
constexpr int16 kCurrentHandleProcsCount = 8;

struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandlePIHandleProc disposeRegularHandleProc;
};

// ---- Buffer suite ----------------------------------------------------------
using AllocateBufferProc = OSErr (*)(int32 size, BufferID* bufferID);
using LockBufferProc = Ptr (*)(BufferID bufferID, Boolean moveHigh);
using UnlockBufferProc = void (*)(BufferID bufferID);
using FreeBufferProc = void (*)(BufferID bufferID);
using BufferSpaceProc = int32 (*)();
using ReserveBufferSpaceProc = OSErr (*)(int32 size);
using AllocateBuffer64Proc = OSErr (*)(int64 size, BufferID* bufferID);
using BufferSpace64Proc = int64 (*)();

constexpr int16 kCurrentBufferProcsVersion = 2;
constexpr int16 kCurrentBufferProcsCount = 8;

struct BufferProcs {
    int16 bufferProcsVersion;
    int16 numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
    ReserveBufferSpaceProc reserveProc;
    AllocateBuffer64Proc allocateProc64;
    BufferSpace64Proc spaceProc64;
};

// ---- Descriptor suites (scripting) ------------------------------------------
using DescriptorKeyID = uint32;
using DescType = uint32;
using DescriptorEnumID = uint32;
using DescriptorClassID = uint32;
using DescriptorUnitID = uint32;
using DescriptorKeyIDArray = DescriptorKeyID*;  // zero-terminated
using PIDescriptorHandle = Handle;
struct ReadDescriptorOpaque;
struct WriteDescriptorOpaque;
using PIReadDescriptor = ReadDescriptorOpaque*;
using PIWriteDescriptor = WriteDescriptorOpaque*;
using Str255 = uint8[256];

struct PIDescriptorSimpleReference {
    DescType desiredClass;
    DescType keyForm;
    struct {
        Str255 name;
        int32 index;
        uint32 identifier;
        DescType enumeratedType;
        DescriptorEnumID enumeratedValue;
    } keyData;
};

using OpenReadDescriptorProc = PIReadDescriptor (*)(PIDescriptorHandle, DescriptorKeyIDArray);
using CloseReadDescriptorProc = OSErr (*)(PIReadDescriptor);
using GetKeyProc = Boolean (*)(PIReadDescriptor, DescriptorKeyID* key, DescType* type, int32* flags);
using GetIntegerProc = OSErr (*)(PIReadDescriptor, int32*);
using GetFloatProc = OSErr (*)(PIReadDescriptor, double*);
using GetUnitFloatProc = OSErr (*)(PIReadDescriptor, DescriptorUnitID*, double*);
using GetBooleanProc = OSErr (*)(PIReadDescriptor, Boolean*);
using GetTextProc = OSErr (*)(PIReadDescriptor, Handle*);
using GetAliasProc = OSErr (*)(PIReadDescriptor, Handle*);
using GetEnumeratedProc = OSErr (*)(PIReadDescriptor, DescriptorEnumID*);
using GetClassProc = OSErr (*)(PIReadDescriptor, DescType*);
using GetSimpleReferenceProc = OSErr (*)(PIReadDescriptor, PIDescriptorSimpleReference*);
using GetObjectProc = OSErr (*)(PIReadDescriptor, DescType*, PIDescriptorHandle*);
using GetCountProc = OSErr (*)(PIReadDescriptor, uint32*);
using GetStringProc = OSErr (*)(PIReadDescriptor, Str255*);
using GetPinnedIntegerProc = OSErr (*)(PIReadDescriptor, int32 min, int32 max, int32*);
using GetPinnedFloatProc = OSErr (*)(PIReadDescriptor, const double* min, const double* max, double*);
using GetPinnedUnitFloatProc = OSErr (*)(PIReadDescriptor, const double* min, const double* max,
                                         DescriptorUnitID*, double*);

constexpr int16 kCurrentReadDescriptorProcsVersion = 0;
constexpr int16 kCurrentReadDescriptorProcsCount = 18;

struct ReadDescriptorProcs {
    int16 readDescriptorProcsVersion;
    int16 numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

using OpenWriteDescriptorProc = PIWriteDescriptor (*)();
using CloseWriteDescriptorProc = OSErr (*)(PIWriteDescriptor, PIDescriptorHandle*);
using PutIntegerProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, int32);
using PutFloatProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const double*);
using PutUnitFloatProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescriptorUnitID, const double*);
using PutBooleanProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Boolean);
using PutTextProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Handle);
using PutAliasProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, Handle);
using PutEnumeratedProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescType type, DescriptorEnumID value);
using PutClassProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescType);
using PutSimpleReferenceProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const PIDescriptorSimpleReference*);
using PutObjectProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescType, PIDescriptorHandle);
using PutCountProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, uint32 count);
using PutStringProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, const uint8* pascalString);
using PutScopedClassProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescType);
using PutScopedObjectProc = OSErr (*)(PIWriteDescriptor, DescriptorKeyID, DescType, PIDescriptorHandle*);

constexpr int16 kCurrentWriteDescriptorProcsVersion = 0;
constexpr int16 kCurrentWriteDescriptorProcsCount = 16;

struct WriteDescriptorProcs {
    int16 writeDescriptorProcsVersion;
    int16 numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

constexpr int16 kCurrentDescriptorParametersVersion = 0;

struct PIDescriptorParameters {
    int16 descriptorParametersVersion;
    int16 playInfo;    // plugInDialogDontDisplay / Display / Silent
    int16 recordInfo;  // plugInDialogOptional / Required / None
    PIDescriptorHandle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// Descriptor value types.
constexpr DescType typeInteger = fourCC('l', 'o', 'n', 'g');
constexpr DescType typeFloat = fourCC('d', 'o', 'u', 'b');
constexpr DescType typeBoolean = fourCC('b', 'o', 'o', 'l');
constexpr DescType typeEnumerated = fourCC('e', 'n', 'u', 'm');
constexpr DescriptorEnumID enumNone = fourCC('<', 'N', 'O', '>');

// ---- Colour services ----------------------------------------------------------
constexpr int16 plugIncolorServicesChooseColor = 0;
constexpr int16 plugIncolorServicesRGBSpace = 0;

struct ColorServicesInfo {
    int32 infoSize;
    int16 selector;
    int16 sourceSpace;
    int16 resultSpace;
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    int16 colorComponents[4];
    void* reserved;
    union {
        Str255* pickerPrompt;
        Point16* globalSamplePoint;
        int32 specialColorID;
    } selectorParameter;
};
// The size a module states in infoSize: 36 bytes for a 32-bit host, 56 for a
// 64-bit one.
constexpr int32 kColorServicesInfoSize = int32(sizeof(ColorServicesInfo));

// ---- Big documents -------------------------------------------------------------
#pragma pack(push, 4)

struct BigDocumentStruct {
    int32 PluginUsing32BitCoordinates;  // non-zero: use the 32-bit fields
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

// ---- The filter record -----------------------------------------------------------
using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(int32 done, int32 total);
using HostProc = void (*)(int16 selector, intptr* data);
using ProcessEventProc = void (*)(void* event);
struct PSPixelMask;
// Pixels handed to the host's display routine (natural alignment).
struct PSPixelMap {
    int32 version;  // 1: the fields up to baseAddr
    VRect bounds;
    int32 imageMode;
    int32 rowBytes;
    int32 colBytes;
    int32 planeBytes;
    void* baseAddr;
    PSPixelMask* mat;  // version 2
    PSPixelMask* masks;
    int32 maskPhaseRow;  // version 3
    int32 maskPhaseCol;
};
using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow,
                                    int32 dstCol, void* platformContext);
using AdvanceStateProc = OSErr (*)();
using GetPropertyProc = OSErr (*)(OSType signature, OSType key, int32 index, intptr* simpleProperty,
                                  Handle* complexProperty);
using ColorServicesProc = OSErr (*)(ColorServicesInfo* info);

struct FilterRecord {
    int32 serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point16 imageSize;
    int16 planes;
    Rect16 filterRect;
    RGBColor background;
    RGBColor foreground;
    int32 maxSpace;
    int32 bufferSpace;
    Rect16 inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect16 outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect16 maskRect;
    void* maskData;
    int32 maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16 imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point16 floatCoord;
    Point16 wholeSize;
    PlugInMonitor monitor;
    void* platformData;
    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    // Interface 3.0
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16 wantLayout;
    int16 filterCase;
    int16 dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16 inputPadding;
    int16 outputPadding;
    int16 maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    int16 inLayerPlanes;
    int16 inTransparencyMask;
    int16 inLayerMasks;
    int16 inInvertedLayerMasks;
    int16 inNonLayerPlanes;
    int16 outLayerPlanes;
    int16 outTransparencyMask;
    int16 outLayerMasks;
    int16 outInvertedLayerMasks;
    int16 outNonLayerPlanes;
    int16 absLayerPlanes;
    int16 absTransparencyMask;
    int16 absLayerMasks;
    int16 absInvertedLayerMasks;
    int16 absNonLayerPlanes;
    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;
    int32 inColumnBytes;
    int32 inPlaneBytes;
    int32 outColumnBytes;
    int32 outPlaneBytes;
    // Interface 3.0.4
    ImageServicesProcs* imageServicesProcs;
    PropertyProcs* propertyProcs;
    int16 inTileHeight;
    int16 inTileWidth;
    Point16 inTileOrigin;
    int16 absTileHeight;
    int16 absTileWidth;
    Point16 absTileOrigin;
    int16 outTileHeight;
    int16 outTileWidth;
    Point16 outTileOrigin;
    int16 maskTileHeight;
    int16 maskTileWidth;
    Point16 maskTileOrigin;
    // Interface 4.0
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    // Interface 5.0
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32 depth;
    // Later hosts
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    int32 hasImageScrap;
    BigDocumentStruct* bigDocumentData;
    PIDescriptorParameters* input3DScene;
    PIDescriptorParameters* output3DScene;
    Boolean createNewLayer;
    Handle iCCWorkingProfileData;
    int32 iCCWorkingProfileSize;
    int64 bufferSpace64;
    int64 maxSpace64;
    char reserved[46];  // zero; never read by the module
};

#pragma pack(pop)

// The about selector passes this record in place of the filter record.
struct AboutRecord {
    void* platformData;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

// The exported entry: selector, filter record (the about record for the about
// selector), the host-kept data slot, the result code.
using PluginEntryProc = void (*)(int16 selector, void* filterRecord, intptr* data, int16* result);

// ---- Resources -------------------------------------------------------------------
constexpr OSType kPropertyListType = fourCC('P', 'i', 'P', 'L');
constexpr OSType kTerminologyType = fourCC('A', 'E', 'T', 'E');
constexpr int16 kPropertyListResourceId = 16000;
constexpr int16 kTerminologyResourceId = 16000;

// Filter-case records of the property list are laid out under 1-byte packing.
#pragma pack(push, 1)
struct FilterCaseInfo {
    int8 inputHandling;
    int8 outputHandling;
    uint8 flags1;
    uint8 flags2;
};
#pragma pack(pop)
constexpr int kFilterCaseCount = 7;

}  // namespace tv::pi
