// Layout checks of the interface structures for both pointer sizes.
//
// A small constexpr model lays out each structure's field list under the
// 4-byte packing Windows hosts use, once with 4-byte and once with 8-byte
// pointers. The compiled structures must match the model for the pointer size
// of this build, and the model itself is pinned to fixed offsets for both
// pointer sizes. The file includes no system header, so it can also be checked
// for the other pointer size with `g++ -m32 -fsyntax-only` (a CTest does so when
// the compiler accepts -m32).
#include "host/pi/pi_types.h"

namespace tv::pi::layout {

// A field kind: size and natural alignment for 4- and 8-byte pointers.
struct Kind {
    int size4, align4, size8, align8;
};
constexpr Kind I8{1, 1, 1, 1};
constexpr Kind I16{2, 2, 2, 2};
constexpr Kind I32{4, 4, 4, 4};
constexpr Kind I64{8, 8, 8, 8};
constexpr Kind Ptr{4, 4, 8, 8};
constexpr Kind Point{4, 2, 4, 2};
constexpr Kind Rect{8, 2, 8, 2};
constexpr Kind Colour{6, 2, 6, 2};
constexpr Kind Bytes4{4, 1, 4, 1};
constexpr Kind Monitor{40, 4, 40, 4};
constexpr Kind VPt{8, 4, 8, 4};
constexpr Kind VRc{16, 4, 16, 4};
constexpr Kind I16x4{8, 2, 8, 2};
constexpr Kind Reserved32{32, 1, 32, 1};
constexpr Kind Reserved244{244, 1, 244, 1};

constexpr int kMaxFields = 160;
struct Layout {
    int offset[kMaxFields];
    int size;
};

// Fields in order under #pragma pack(pack): each field is aligned to the
// smaller of its natural alignment and the packing; the whole is padded to the
// largest such alignment.
template <int N>
constexpr Layout layOut(const Kind (&fields)[N], int pointerSize, int pack) {
    Layout l{};
    int at = 0, maxAlign = 1;
    for (int i = 0; i < N; ++i) {
        const int size = pointerSize == 4 ? fields[i].size4 : fields[i].size8;
        int align = pointerSize == 4 ? fields[i].align4 : fields[i].align8;
        if (align > pack) align = pack;
        if (align > maxAlign) maxAlign = align;
        at = (at + align - 1) / align * align;
        l.offset[i] = at;
        at += size;
    }
    l.size = (at + maxAlign - 1) / maxAlign * maxAlign;
    return l;
}

constexpr int kNativePointer = sizeof(void*);

// ---- the filter record ---------------------------------------------------
#define TV_FILTER_RECORD_FIELDS(X)                                                                  \
    X(serialNumber, I32) X(abortProc, Ptr) X(progressProc, Ptr) X(parameters, Ptr)                  \
    X(imageSize, Point) X(planes, I16) X(filterRect, Rect) X(background, Colour)                    \
    X(foreground, Colour) X(maxSpace, I32) X(bufferSpace, I32) X(inRect, Rect) X(inLoPlane, I16)    \
    X(inHiPlane, I16) X(outRect, Rect) X(outLoPlane, I16) X(outHiPlane, I16) X(inData, Ptr)         \
    X(inRowBytes, I32) X(outData, Ptr) X(outRowBytes, I32) X(isFloating, I8) X(haveMask, I8)        \
    X(autoMask, I8) X(maskRect, Rect) X(maskData, Ptr) X(maskRowBytes, I32) X(backColor, Bytes4)    \
    X(foreColor, Bytes4) X(hostSig, I32) X(hostProc, Ptr) X(imageMode, I16) X(imageHRes, I32)       \
    X(imageVRes, I32) X(floatCoord, Point) X(wholeSize, Point) X(monitor, Monitor)                  \
    X(platformData, Ptr) X(bufferProcs, Ptr) X(resourceProcs, Ptr) X(processEvent, Ptr)            \
    X(displayPixels, Ptr) X(handleProcs, Ptr) X(supportsDummyChannels, I8)                          \
    X(supportsAlternateLayouts, I8) X(wantLayout, I16) X(filterCase, I16) X(dummyPlaneValue, I16)   \
    X(premiereHook, Ptr) X(advanceState, Ptr) X(supportsAbsolute, I8) X(wantsAbsolute, I8)          \
    X(getPropertyObsolete, Ptr) X(cannotUndo, I8) X(supportsPadding, I8) X(inputPadding, I16)       \
    X(outputPadding, I16) X(maskPadding, I16) X(samplingSupport, I8) X(reservedByte, I8)            \
    X(inputRate, I32) X(maskRate, I32) X(colorServices, Ptr) X(inLayerPlanes, I16)                  \
    X(inTransparencyMask, I16) X(inLayerMasks, I16) X(inInvertedLayerMasks, I16)                    \
    X(inNonLayerPlanes, I16) X(outLayerPlanes, I16) X(outTransparencyMask, I16)                     \
    X(outLayerMasks, I16) X(outInvertedLayerMasks, I16) X(outNonLayerPlanes, I16)                   \
    X(absLayerPlanes, I16) X(absTransparencyMask, I16) X(absLayerMasks, I16)                        \
    X(absInvertedLayerMasks, I16) X(absNonLayerPlanes, I16) X(inPreDummyPlanes, I16)                \
    X(inPostDummyPlanes, I16) X(outPreDummyPlanes, I16) X(outPostDummyPlanes, I16)                  \
    X(inColumnBytes, I32) X(inPlaneBytes, I32) X(outColumnBytes, I32) X(outPlaneBytes, I32)         \
    X(imageServicesProcs, Ptr) X(propertyProcs, Ptr) X(inTileHeight, I16) X(inTileWidth, I16)       \
    X(inTileOrigin, Point) X(absTileHeight, I16) X(absTileWidth, I16) X(absTileOrigin, Point)       \
    X(outTileHeight, I16) X(outTileWidth, I16) X(outTileOrigin, Point) X(maskTileHeight, I16)       \
    X(maskTileWidth, I16) X(maskTileOrigin, Point) X(descriptorParameters, Ptr)                     \
    X(errorString, Ptr) X(channelPortProcs, Ptr) X(documentInfo, Ptr) X(sSPBasic, Ptr)              \
    X(plugInRef, Ptr) X(depth, I32) X(iCCprofileData, Ptr) X(iCCprofileSize, I32)                   \
    X(canUseICCProfiles, I32) X(hasImageScrap, I32) X(bigDocumentData, Ptr) X(input3DScene, Ptr)    \
    X(output3DScene, Ptr) X(createNewLayer, I8) X(iCCWorkingProfileData, Ptr)                       \
    X(iCCWorkingProfileSize, I32) X(bufferSpace64, I64) X(maxSpace64, I64) X(reserved, Reserved32)

#define TV_INDEX(name, kind) FR_##name,
#define TV_KIND(name, kind) kind,
#define TV_FIELD_INDEX(name, kind) name,
enum FilterRecordField { TV_FILTER_RECORD_FIELDS(TV_INDEX) FR_count };
constexpr Kind kFilterRecord[] = {TV_FILTER_RECORD_FIELDS(TV_KIND)};
static_assert(sizeof kFilterRecord / sizeof kFilterRecord[0] == FR_count);
constexpr Layout kFilterRecord32 = layOut(kFilterRecord, 4, 4);
constexpr Layout kFilterRecord64 = layOut(kFilterRecord, 8, 4);
constexpr const Layout& kFilterRecordNative = kNativePointer == 4 ? kFilterRecord32 : kFilterRecord64;

// Every field of the compiled record sits where the model puts it.
#define TV_CHECK(name, kind)                                                                   \
    static_assert(__builtin_offsetof(FilterRecord, name) == kFilterRecordNative.offset[FR_##name], \
                  "FilterRecord::" #name " is not where the interface puts it");
TV_FILTER_RECORD_FIELDS(TV_CHECK)
#undef TV_CHECK
static_assert(sizeof(FilterRecord) == kFilterRecordNative.size);

// Pinned offsets, 32-bit host / 64-bit host.
#define TV_PIN(name, at32, at64)                                                                   \
    static_assert(kFilterRecord32.offset[FR_##name] == at32, "32-bit offset of " #name);          \
    static_assert(kFilterRecord64.offset[FR_##name] == at64, "64-bit offset of " #name);
TV_PIN(abortProc, 4, 4)
TV_PIN(parameters, 12, 20)
TV_PIN(planes, 20, 32)
TV_PIN(filterRect, 22, 34)
TV_PIN(maxSpace, 44, 56)
TV_PIN(inRect, 52, 64)
TV_PIN(outRect, 64, 76)
TV_PIN(inData, 76, 88)
TV_PIN(inRowBytes, 80, 96)
TV_PIN(outData, 84, 100)
TV_PIN(outRowBytes, 88, 108)
TV_PIN(haveMask, 93, 113)
TV_PIN(maskRect, 96, 116)
TV_PIN(maskData, 104, 124)
TV_PIN(maskRowBytes, 108, 132)
TV_PIN(hostSig, 120, 144)
TV_PIN(imageMode, 128, 156)
TV_PIN(floatCoord, 140, 168)
TV_PIN(platformData, 188, 216)
TV_PIN(bufferProcs, 192, 224)
TV_PIN(displayPixels, 204, 248)
TV_PIN(handleProcs, 208, 256)
TV_PIN(filterCase, 216, 268)
TV_PIN(advanceState, 224, 280)
TV_PIN(inputPadding, 238, 302)
TV_PIN(samplingSupport, 244, 308)
TV_PIN(inputRate, 248, 312)
TV_PIN(maskRate, 252, 316)
TV_PIN(colorServices, 256, 320)
TV_PIN(inLayerPlanes, 260, 328)
TV_PIN(inPreDummyPlanes, 290, 358)
TV_PIN(descriptorParameters, 356, 432)
TV_PIN(sSPBasic, 372, 464)
TV_PIN(depth, 380, 480)
TV_PIN(iCCprofileData, 384, 484)
TV_PIN(hasImageScrap, 396, 500)
TV_PIN(bigDocumentData, 400, 504)
TV_PIN(input3DScene, 404, 512)
TV_PIN(output3DScene, 408, 520)
TV_PIN(createNewLayer, 412, 528)
TV_PIN(iCCWorkingProfileData, 416, 532)
TV_PIN(iCCWorkingProfileSize, 420, 540)
TV_PIN(bufferSpace64, 424, 544)
TV_PIN(maxSpace64, 432, 552)
TV_PIN(reserved, 440, 560)
#undef TV_PIN
static_assert(kFilterRecord32.size == 472 && kFilterRecord64.size == 592);

// ---- suites and small records -------------------------------------------------
#define TV_SIMPLE_STRUCT(Struct, FIELDS, size32, size64)                                           \
    namespace Struct##_model {                                                                     \
    enum Field { FIELDS(TV_FIELD_INDEX) count };                                                         \
    constexpr Kind kinds[] = {FIELDS(TV_KIND)};                                                    \
    constexpr Layout l32 = layOut(kinds, 4, 4);                                                    \
    constexpr Layout l64 = layOut(kinds, 8, 4);                                                    \
    constexpr const Layout& native = kNativePointer == 4 ? l32 : l64;                              \
    static_assert(sizeof(Struct) == native.size, #Struct " size");                                 \
    static_assert(l32.size == size32 && l64.size == size64, #Struct " size for 32/64-bit hosts"); \
    }

#define HANDLE_PROCS(X)                                                                             \
    X(handleProcsVersion, I16) X(numHandleProcs, I16) X(newProc, Ptr) X(disposeProc, Ptr)          \
    X(getSizeProc, Ptr) X(setSizeProc, Ptr) X(lockProc, Ptr) X(unlockProc, Ptr)                    \
    X(recoverSpaceProc, Ptr) X(disposeRegularHandleProc, Ptr)
TV_SIMPLE_STRUCT(HandleProcs, HANDLE_PROCS, 36, 68)
static_assert(__builtin_offsetof(HandleProcs, lockProc) == HandleProcs_model::native.offset[HandleProcs_model::lockProc]);
static_assert(HandleProcs_model::l32.offset[HandleProcs_model::lockProc] == 20 &&
              HandleProcs_model::l64.offset[HandleProcs_model::lockProc] == 36);

#define BUFFER_PROCS(X)                                                                             \
    X(bufferProcsVersion, I16) X(numBufferProcs, I16) X(allocateProc, Ptr) X(lockProc, Ptr)        \
    X(unlockProc, Ptr) X(freeProc, Ptr) X(spaceProc, Ptr) X(reserveProc, Ptr)                      \
    X(allocateProc64, Ptr) X(spaceProc64, Ptr)
TV_SIMPLE_STRUCT(BufferProcs, BUFFER_PROCS, 36, 68)
static_assert(__builtin_offsetof(BufferProcs, freeProc) == BufferProcs_model::native.offset[BufferProcs_model::freeProc]);

#define DESCRIPTOR_PARAMETERS(X)                                                                    \
    X(descriptorParametersVersion, I16) X(playInfo, I16) X(recordInfo, I16) X(descriptor, Ptr)     \
    X(writeDescriptorProcs, Ptr) X(readDescriptorProcs, Ptr)
TV_SIMPLE_STRUCT(PIDescriptorParameters, DESCRIPTOR_PARAMETERS, 20, 32)
static_assert(__builtin_offsetof(PIDescriptorParameters, descriptor) ==
              PIDescriptorParameters_model::native.offset[PIDescriptorParameters_model::descriptor]);
static_assert(PIDescriptorParameters_model::l32.offset[PIDescriptorParameters_model::descriptor] == 8 &&
              PIDescriptorParameters_model::l64.offset[PIDescriptorParameters_model::descriptor] == 8);

#define READ_PROCS(X)                                                                               \
    X(readDescriptorProcsVersion, I16) X(numReadDescriptorProcs, I16) X(open, Ptr) X(close, Ptr)   \
    X(getKey, Ptr) X(getInteger, Ptr) X(getFloat, Ptr) X(getUnitFloat, Ptr) X(getBoolean, Ptr)     \
    X(getText, Ptr) X(getAlias, Ptr) X(getEnumerated, Ptr) X(getClass, Ptr)                        \
    X(getSimpleReference, Ptr) X(getObject, Ptr) X(getCount, Ptr) X(getString, Ptr)               \
    X(getPinnedInteger, Ptr) X(getPinnedFloat, Ptr) X(getPinnedUnitFloat, Ptr)
TV_SIMPLE_STRUCT(ReadDescriptorProcs, READ_PROCS, 76, 148)
static_assert(__builtin_offsetof(ReadDescriptorProcs, getEnumeratedProc) ==
              ReadDescriptorProcs_model::native.offset[ReadDescriptorProcs_model::getEnumerated]);

#define WRITE_PROCS(X)                                                                              \
    X(writeDescriptorProcsVersion, I16) X(numWriteDescriptorProcs, I16) X(open, Ptr) X(close, Ptr) \
    X(putInteger, Ptr) X(putFloat, Ptr) X(putUnitFloat, Ptr) X(putBoolean, Ptr) X(putText, Ptr)    \
    X(putAlias, Ptr) X(putEnumerated, Ptr) X(putClass, Ptr) X(putSimpleReference, Ptr)             \
    X(putObject, Ptr) X(putCount, Ptr) X(putString, Ptr) X(putScopedClass, Ptr)                    \
    X(putScopedObject, Ptr)
TV_SIMPLE_STRUCT(WriteDescriptorProcs, WRITE_PROCS, 68, 132)
static_assert(__builtin_offsetof(WriteDescriptorProcs, putEnumeratedProc) ==
              WriteDescriptorProcs_model::native.offset[WriteDescriptorProcs_model::putEnumerated]);

#define COLOR_SERVICES(X)                                                                           \
    X(infoSize, I32) X(selector, I16) X(sourceSpace, I16) X(resultSpace, I16)                      \
    X(resultGamutInfoValid, I8) X(resultInGamut, I8) X(reservedSourceSpaceInfo, Ptr)               \
    X(reservedResultSpaceInfo, Ptr) X(colorComponents, I16x4) X(reserved, Ptr)                     \
    X(selectorParameter, Ptr)
TV_SIMPLE_STRUCT(ColorServicesInfo, COLOR_SERVICES, 36, 52)
static_assert(__builtin_offsetof(ColorServicesInfo, colorComponents) ==
              ColorServicesInfo_model::native.offset[ColorServicesInfo_model::colorComponents]);
static_assert(__builtin_offsetof(ColorServicesInfo, selectorParameter) ==
              ColorServicesInfo_model::native.offset[ColorServicesInfo_model::selectorParameter]);

#define BIG_DOCUMENT(X)                                                                             \
    X(PluginUsing32BitCoordinates, I32) X(imageSize32, VPt) X(filterRect32, VRc) X(inRect32, VRc)  \
    X(outRect32, VRc) X(maskRect32, VRc) X(floatCoord32, VPt) X(wholeSize32, VPt)
TV_SIMPLE_STRUCT(BigDocumentStruct, BIG_DOCUMENT, 92, 92)
static_assert(__builtin_offsetof(BigDocumentStruct, floatCoord32) == 76);

#define ABOUT_RECORD(X) X(platformData, Ptr) X(sSPBasic, Ptr) X(plugInRef, Ptr) X(reserved, Reserved244)
TV_SIMPLE_STRUCT(AboutRecord, ABOUT_RECORD, 256, 268)
static_assert(__builtin_offsetof(AboutRecord, sSPBasic) == AboutRecord_model::native.offset[AboutRecord_model::sSPBasic]);

// Filter-case records: 1-byte packing, four bytes each.
static_assert(sizeof(FilterCaseInfo) == 4 && alignof(FilterCaseInfo) == 1);

#undef TV_SIMPLE_STRUCT
#undef TV_INDEX
#undef TV_KIND
#undef TV_FIELD_INDEX

}  // namespace tv::pi::layout
