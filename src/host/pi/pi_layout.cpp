// Layout checks of the interface structures for 32- and 64-bit hosts.
//
// The numbers below are the offsets, sizes and alignments that hosts use. They
// were obtained by compiling the structure declarations of the public filter
// interface headers (PIFilter.h, PIGeneral.h, PIActions.h, PIAbout.h and the
// Windows branch of PITypes.h, with WIN32 defined: the filter record and the
// big-document record under #pragma pack(4), the filter-case record under
// pack(1), everything else at natural alignment) with Debian's mingw-w64
// gcc 12.2 for i686-w64-mingw32 and x86_64-w64-mingw32, and reading offsetof,
// sizeof and _Alignof of every field back from the two object files. They are
// kept here as constants, not recomputed from our declarations, so that a
// declaration that drifts from what hosts pass fails the build.
//
// The file includes no system header: it is compiled into every build (Linux
// 64-bit, Windows 32- and 64-bit) and, where the compiler accepts -m32, checked
// for 32-bit Linux too (a CTest).
#include "host/pi/pi_types.h"

namespace tv::pi::layout {

constexpr bool k32 = sizeof(void*) == 4;
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);

#define TV_SHAPE(size32, size64, align32, align64)                                      \
    static_assert(sizeof(S) == (k32 ? size32 : size64), "size differs from the hosts'"); \
    static_assert(alignof(S) == (k32 ? align32 : align64), "alignment differs from the hosts'");
#define TV_AT(field, at32, at64) \
    static_assert(__builtin_offsetof(S, field) == (k32 ? at32 : at64), #field " is not where hosts put it");

namespace FilterRecord_pins {
using S = FilterRecord;
TV_SHAPE(488, 608, 4, 4)
TV_AT(serialNumber, 0, 0) TV_AT(abortProc, 4, 4) TV_AT(progressProc, 8, 12) TV_AT(parameters, 12, 20)
TV_AT(imageSize, 16, 28) TV_AT(planes, 20, 32) TV_AT(filterRect, 22, 34) TV_AT(background, 30, 42)
TV_AT(foreground, 36, 48) TV_AT(maxSpace, 44, 56) TV_AT(bufferSpace, 48, 60) TV_AT(inRect, 52, 64)
TV_AT(inLoPlane, 60, 72) TV_AT(inHiPlane, 62, 74) TV_AT(outRect, 64, 76) TV_AT(outLoPlane, 72, 84)
TV_AT(outHiPlane, 74, 86) TV_AT(inData, 76, 88) TV_AT(inRowBytes, 80, 96) TV_AT(outData, 84, 100)
TV_AT(outRowBytes, 88, 108) TV_AT(isFloating, 92, 112) TV_AT(haveMask, 93, 113) TV_AT(autoMask, 94, 114)
TV_AT(maskRect, 96, 116) TV_AT(maskData, 104, 124) TV_AT(maskRowBytes, 108, 132) TV_AT(backColor, 112, 136)
TV_AT(foreColor, 116, 140) TV_AT(hostSig, 120, 144) TV_AT(hostProc, 124, 148) TV_AT(imageMode, 128, 156)
TV_AT(imageHRes, 132, 160) TV_AT(imageVRes, 136, 164) TV_AT(floatCoord, 140, 168) TV_AT(wholeSize, 144, 172)
TV_AT(monitor, 148, 176) TV_AT(platformData, 188, 216) TV_AT(bufferProcs, 192, 224)
TV_AT(resourceProcs, 196, 232) TV_AT(processEvent, 200, 240) TV_AT(displayPixels, 204, 248)
TV_AT(handleProcs, 208, 256) TV_AT(supportsDummyChannels, 212, 264) TV_AT(supportsAlternateLayouts, 213, 265)
TV_AT(wantLayout, 214, 266) TV_AT(filterCase, 216, 268) TV_AT(dummyPlaneValue, 218, 270)
TV_AT(premiereHook, 220, 272) TV_AT(advanceState, 224, 280) TV_AT(supportsAbsolute, 228, 288)
TV_AT(wantsAbsolute, 229, 289) TV_AT(getPropertyObsolete, 232, 292) TV_AT(cannotUndo, 236, 300)
TV_AT(supportsPadding, 237, 301) TV_AT(inputPadding, 238, 302) TV_AT(outputPadding, 240, 304)
TV_AT(maskPadding, 242, 306) TV_AT(samplingSupport, 244, 308) TV_AT(reservedByte, 245, 309)
TV_AT(inputRate, 248, 312) TV_AT(maskRate, 252, 316) TV_AT(colorServices, 256, 320)
TV_AT(inLayerPlanes, 260, 328) TV_AT(inTransparencyMask, 262, 330) TV_AT(inLayerMasks, 264, 332)
TV_AT(inInvertedLayerMasks, 266, 334) TV_AT(inNonLayerPlanes, 268, 336) TV_AT(outLayerPlanes, 270, 338)
TV_AT(outTransparencyMask, 272, 340) TV_AT(outLayerMasks, 274, 342) TV_AT(outInvertedLayerMasks, 276, 344)
TV_AT(outNonLayerPlanes, 278, 346) TV_AT(absLayerPlanes, 280, 348) TV_AT(absTransparencyMask, 282, 350)
TV_AT(absLayerMasks, 284, 352) TV_AT(absInvertedLayerMasks, 286, 354) TV_AT(absNonLayerPlanes, 288, 356)
TV_AT(inPreDummyPlanes, 290, 358) TV_AT(inPostDummyPlanes, 292, 360) TV_AT(outPreDummyPlanes, 294, 362)
TV_AT(outPostDummyPlanes, 296, 364) TV_AT(inColumnBytes, 300, 368) TV_AT(inPlaneBytes, 304, 372)
TV_AT(outColumnBytes, 308, 376) TV_AT(outPlaneBytes, 312, 380) TV_AT(imageServicesProcs, 316, 384)
TV_AT(propertyProcs, 320, 392) TV_AT(inTileHeight, 324, 400) TV_AT(inTileWidth, 326, 402)
TV_AT(inTileOrigin, 328, 404) TV_AT(absTileHeight, 332, 408) TV_AT(absTileWidth, 334, 410)
TV_AT(absTileOrigin, 336, 412) TV_AT(outTileHeight, 340, 416) TV_AT(outTileWidth, 342, 418)
TV_AT(outTileOrigin, 344, 420) TV_AT(maskTileHeight, 348, 424) TV_AT(maskTileWidth, 350, 426)
TV_AT(maskTileOrigin, 352, 428) TV_AT(descriptorParameters, 356, 432) TV_AT(errorString, 360, 440)
TV_AT(channelPortProcs, 364, 448) TV_AT(documentInfo, 368, 456) TV_AT(sSPBasic, 372, 464)
TV_AT(plugInRef, 376, 472) TV_AT(depth, 380, 480) TV_AT(iCCprofileData, 384, 484)
TV_AT(iCCprofileSize, 388, 492) TV_AT(canUseICCProfiles, 392, 496) TV_AT(hasImageScrap, 396, 500)
TV_AT(bigDocumentData, 400, 504) TV_AT(input3DScene, 404, 512) TV_AT(output3DScene, 408, 520)
TV_AT(createNewLayer, 412, 528) TV_AT(iCCWorkingProfileData, 416, 532) TV_AT(iCCWorkingProfileSize, 420, 540)
TV_AT(bufferSpace64, 424, 544) TV_AT(maxSpace64, 432, 552) TV_AT(reserved, 440, 560)
}

namespace BigDocumentStruct_pins {
using S = BigDocumentStruct;
TV_SHAPE(92, 92, 4, 4)
TV_AT(PluginUsing32BitCoordinates, 0, 0) TV_AT(imageSize32, 4, 4) TV_AT(filterRect32, 12, 12)
TV_AT(inRect32, 28, 28) TV_AT(outRect32, 44, 44) TV_AT(maskRect32, 60, 60) TV_AT(floatCoord32, 76, 76)
TV_AT(wholeSize32, 84, 84)
}

namespace HandleProcs_pins {
using S = HandleProcs;
TV_SHAPE(36, 72, 4, 8)
TV_AT(handleProcsVersion, 0, 0) TV_AT(numHandleProcs, 2, 2) TV_AT(newProc, 4, 8) TV_AT(disposeProc, 8, 16)
TV_AT(getSizeProc, 12, 24) TV_AT(setSizeProc, 16, 32) TV_AT(lockProc, 20, 40) TV_AT(unlockProc, 24, 48)
TV_AT(recoverSpaceProc, 28, 56) TV_AT(disposeRegularHandleProc, 32, 64)
}

namespace BufferProcs_pins {
using S = BufferProcs;
TV_SHAPE(36, 72, 4, 8)
TV_AT(bufferProcsVersion, 0, 0) TV_AT(numBufferProcs, 2, 2) TV_AT(allocateProc, 4, 8) TV_AT(lockProc, 8, 16)
TV_AT(unlockProc, 12, 24) TV_AT(freeProc, 16, 32) TV_AT(spaceProc, 20, 40) TV_AT(reserveProc, 24, 48)
TV_AT(allocateProc64, 28, 56) TV_AT(spaceProc64, 32, 64)
}

namespace ReadDescriptorProcs_pins {
using S = ReadDescriptorProcs;
TV_SHAPE(76, 152, 4, 8)
TV_AT(readDescriptorProcsVersion, 0, 0) TV_AT(numReadDescriptorProcs, 2, 2)
TV_AT(openReadDescriptorProc, 4, 8) TV_AT(closeReadDescriptorProc, 8, 16) TV_AT(getKeyProc, 12, 24)
TV_AT(getIntegerProc, 16, 32) TV_AT(getFloatProc, 20, 40) TV_AT(getUnitFloatProc, 24, 48)
TV_AT(getBooleanProc, 28, 56) TV_AT(getTextProc, 32, 64) TV_AT(getAliasProc, 36, 72)
TV_AT(getEnumeratedProc, 40, 80) TV_AT(getClassProc, 44, 88) TV_AT(getSimpleReferenceProc, 48, 96)
TV_AT(getObjectProc, 52, 104) TV_AT(getCountProc, 56, 112) TV_AT(getStringProc, 60, 120)
TV_AT(getPinnedIntegerProc, 64, 128) TV_AT(getPinnedFloatProc, 68, 136)
TV_AT(getPinnedUnitFloatProc, 72, 144)
}

namespace WriteDescriptorProcs_pins {
using S = WriteDescriptorProcs;
TV_SHAPE(68, 136, 4, 8)
TV_AT(writeDescriptorProcsVersion, 0, 0) TV_AT(numWriteDescriptorProcs, 2, 2)
TV_AT(openWriteDescriptorProc, 4, 8) TV_AT(closeWriteDescriptorProc, 8, 16) TV_AT(putIntegerProc, 12, 24)
TV_AT(putFloatProc, 16, 32) TV_AT(putUnitFloatProc, 20, 40) TV_AT(putBooleanProc, 24, 48)
TV_AT(putTextProc, 28, 56) TV_AT(putAliasProc, 32, 64) TV_AT(putEnumeratedProc, 36, 72)
TV_AT(putClassProc, 40, 80) TV_AT(putSimpleReferenceProc, 44, 88) TV_AT(putObjectProc, 48, 96)
TV_AT(putCountProc, 52, 104) TV_AT(putStringProc, 56, 112) TV_AT(putScopedClassProc, 60, 120)
TV_AT(putScopedObjectProc, 64, 128)
}

namespace PIDescriptorParameters_pins {
using S = PIDescriptorParameters;
TV_SHAPE(20, 32, 4, 8)
TV_AT(descriptorParametersVersion, 0, 0) TV_AT(playInfo, 2, 2) TV_AT(recordInfo, 4, 4)
TV_AT(descriptor, 8, 8) TV_AT(writeDescriptorProcs, 12, 16) TV_AT(readDescriptorProcs, 16, 24)
}

namespace ColorServicesInfo_pins {
using S = ColorServicesInfo;
TV_SHAPE(36, 56, 4, 8)
TV_AT(infoSize, 0, 0) TV_AT(selector, 4, 4) TV_AT(sourceSpace, 6, 6) TV_AT(resultSpace, 8, 8)
TV_AT(resultGamutInfoValid, 10, 10) TV_AT(resultInGamut, 11, 11) TV_AT(reservedSourceSpaceInfo, 12, 16)
TV_AT(reservedResultSpaceInfo, 16, 24) TV_AT(colorComponents, 20, 32) TV_AT(reserved, 28, 40)
TV_AT(selectorParameter, 32, 48)
}

namespace AboutRecord_pins {
using S = AboutRecord;
TV_SHAPE(256, 272, 4, 8)
TV_AT(platformData, 0, 0) TV_AT(sSPBasic, 4, 8) TV_AT(plugInRef, 8, 16) TV_AT(reserved, 12, 24)
}

namespace PlatformData_pins {
using S = PlatformData;
TV_SHAPE(4, 8, 4, 8)
TV_AT(hwnd, 0, 0)
}

namespace FilterCaseInfo_pins {
using S = FilterCaseInfo;
TV_SHAPE(4, 4, 1, 1)
TV_AT(inputHandling, 0, 0) TV_AT(outputHandling, 1, 1) TV_AT(flags1, 2, 2) TV_AT(flags2, 3, 3)
}

namespace PlugInMonitor_pins {
using S = PlugInMonitor;
TV_SHAPE(40, 40, 4, 4)
TV_AT(gamma, 0, 0) TV_AT(redX, 4, 4) TV_AT(redY, 8, 8) TV_AT(greenX, 12, 12) TV_AT(greenY, 16, 16)
TV_AT(blueX, 20, 20) TV_AT(blueY, 24, 24) TV_AT(whiteX, 28, 28) TV_AT(whiteY, 32, 32) TV_AT(ambient, 36, 36)
}
#undef TV_SHAPE
#undef TV_AT

// The size stated in a colour-services block is the block's own.
static_assert(kColorServicesInfoSize == (k32 ? 36 : 56));

}  // namespace tv::pi::layout
