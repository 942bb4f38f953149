#pragma once

#include <QtGlobal>

// The chunk types the reader walks, as the RenderWare binary stream numbers them.
namespace RwChunkTypes {

constexpr quint32 kStruct = 0x01;
constexpr quint32 kString = 0x02;
constexpr quint32 kExtension = 0x03;
constexpr quint32 kTexture = 0x06;
constexpr quint32 kMaterial = 0x07;
constexpr quint32 kMaterialList = 0x08;
constexpr quint32 kGeometry = 0x0F;
constexpr quint32 kClump = 0x10;
constexpr quint32 kTextureNative = 0x15;
constexpr quint32 kTextureDictionary = 0x16;
constexpr quint32 kGeometryList = 0x1A;

} // namespace RwChunkTypes
