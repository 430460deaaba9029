// reader_3ds.h: the "3DS" scene driver: 3D Studio chunk files read into the active scene,
// the editor objects in the scene stage and the keyframer in the motion stage.
// Both read a whole in-memory file, return a result code and own nothing; the only text
// they write is one "licht gelesen" line per light, to the stream set here (stdout at start).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SceneFile;

// Scene stage: materials, meshes, lights and cameras appended to the active scene's object
// list, ids from 0 in file order. 0, 1 out of memory, 3 short or corrupt data, 4 not a
// supported file (the byte at offset 28 below 2), 256 a face group naming no object,
// 9 without an active scene.
int read_3ds_scene(SceneFile& file);
// Motion stage: frame range, animation nodes and their tracks, finding the scene stage's
// objects by name. Codes as above; 256 also for a node or morph key naming no fitting object.
int read_3ds_motion(SceneFile& file);

// Where the light lines go: stdout unless changed; null writes nothing. Returns the old one.
std::FILE* read_3ds_set_output(std::FILE* out);

// Byte offset of the version byte: the low byte of the mesh version chunk (0x3D3E) that
// follows the main chunk, its version chunk and the editor chunk's header.
constexpr std::size_t tds_version_offset = 28;

// Chunk ids the reader knows (and the test and show writers write).
enum : std::uint16_t {
  TDS_COLOR_F = 0x0010,        // r, g, b floats
  TDS_COLOR_24 = 0x0011,       // r, g, b bytes
  TDS_PERCENT = 0x0030,        // u16 percentage
  TDS_MAIN = 0x4D4D,
  TDS_VERSION = 0x0002,        // u32 file version
  TDS_EDITOR = 0x3D3D,
  TDS_MESH_VERSION = 0x3D3E,   // u32; its low byte is the version byte
  TDS_BACKGROUND = 0x1200,
  TDS_AMBIENT_LIGHT = 0x2100,
  TDS_NAMED_OBJECT = 0x4000,   // name string, then one object chunk
  TDS_MESH = 0x4100,
  TDS_POINTS = 0x4110,         // u16 count, x y z floats each
  TDS_POINT_FLAGS = 0x4111,
  TDS_FACES = 0x4120,          // u16 count, a b c flags u16 each, then face sub-chunks
  TDS_FACE_MATERIAL = 0x4130,  // material name, u16 count, u16 face indices
  TDS_SMOOTH_GROUPS = 0x4150,
  TDS_MESH_MATRIX = 0x4160,    // 3 axes and the origin, 12 floats
  TDS_TEXELS = 0x4140,         // u16 count, u v floats each
  TDS_LIGHT = 0x4600,          // position, then colour and spot sub-chunks
  TDS_SPOTLIGHT = 0x4610,      // target x y z, hotspot, falloff
  TDS_CAMERA = 0x4700,         // position, target, roll, lens
  TDS_MATERIAL = 0xAFFF,
  TDS_MAT_NAME = 0xA000,
  TDS_MAT_AMBIENT = 0xA010,
  TDS_MAT_DIFFUSE = 0xA020,
  TDS_MAT_SPECULAR = 0xA030,
  TDS_MAT_SHININESS = 0xA040,
  TDS_MAT_SHIN_STRENGTH = 0xA041,
  TDS_MAT_TRANSPARENCY = 0xA050,
  TDS_MAT_XPFALL = 0xA052,
  TDS_MAT_REFBLUR = 0xA053,
  TDS_MAT_TWO_SIDE = 0xA081,
  TDS_MAT_ADDITIVE = 0xA083,
  TDS_MAT_SELF_ILLUM = 0xA084,
  TDS_MAT_WIRE = 0xA085,
  TDS_MAT_SOFTEN = 0xA08C,
  TDS_MAT_SHADING = 0xA100,
  TDS_MAT_TEXMAP = 0xA200,
  TDS_MAT_REFLMAP = 0xA220,
  TDS_MAT_BUMPMAP = 0xA230,
  TDS_MAP_FILE = 0xA300,
  TDS_MAP_TILING = 0xA351,
  TDS_MAP_U_SCALE = 0xA354,
  TDS_MAP_V_SCALE = 0xA356,
  TDS_MAP_U_OFFSET = 0xA358,
  TDS_MAP_V_OFFSET = 0xA35A,
  TDS_MAP_ROTATION = 0xA35C,
  TDS_KEYFRAMER = 0xB000,
  TDS_AMBIENT_NODE = 0xB001,
  TDS_OBJECT_NODE = 0xB002,
  TDS_CAMERA_NODE = 0xB003,
  TDS_TARGET_NODE = 0xB004,
  TDS_LIGHT_NODE = 0xB005,
  TDS_L_TARGET_NODE = 0xB006,
  TDS_SPOTLIGHT_NODE = 0xB007,
  TDS_FRAMES = 0xB008,         // start, end u32
  TDS_NODE_HEADER = 0xB010,    // name, flags u16 u16, parent i16
  TDS_INSTANCE_NAME = 0xB011,
  TDS_PIVOT = 0xB013,
  TDS_POS_TRACK = 0xB020,
  TDS_ROT_TRACK = 0xB021,
  TDS_SCL_TRACK = 0xB022,
  TDS_FOV_TRACK = 0xB023,
  TDS_ROLL_TRACK = 0xB024,
  TDS_COL_TRACK = 0xB025,
  TDS_MORPH_TRACK = 0xB026,
  TDS_HIDE_TRACK = 0xB029,
  TDS_NODE_ID = 0xB030,
};
