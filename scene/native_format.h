// native_format.h: the "NVF" scene driver, the library's own flat dump of a scene: a 12-byte
// header, then one chunk per object and one per animation node with its tracks and keys. The
// readers fill the active scene, the writer saves it; they work on an in-memory SceneFile,
// return result codes, never read outside the file's bytes and never throw.
#pragma once

#include <cstdint>

struct Scene;
struct SceneFile;

// Header: the magic bytes "QZ\0\0", the version (i32), the contents (i32: 1 objects only,
// 3 objects and motion). Version 1 keeps a rotation key's value only, whose angle total is cut
// to whole radians; version 2, which this library writes, adds what evaluation needs to come
// back bit for bit: each rotation key's orientation, the five spline parameters of morph and
// hide keys, each mesh's bounding box and load-time normals, and which faces have a material.
constexpr std::int32_t native_version_1 = 1;
constexpr std::int32_t native_version = 2;
constexpr std::int32_t native_contents_objects = 1;
constexpr std::int32_t native_contents_motion = 3;

// Chunk ids. A chunk is id (u16), data length (u32, the bytes after this 6-byte header), data.
enum : std::uint16_t {
  NATIVE_FRAMES = 0x200,  // start, end frame
  NATIVE_CAMERA = 0x300,
  NATIVE_LIGHT = 0x301,
  NATIVE_MESH = 0x302,
  NATIVE_MATERIAL = 0x303,
  NATIVE_AMBIENT = 0x304,
  NATIVE_CAMERA_NODE = 0x400,
  NATIVE_CAMERA_TARGET_NODE = 0x401,
  NATIVE_OMNI_NODE = 0x402,
  NATIVE_SPOT_NODE = 0x403,
  NATIVE_LIGHT_TARGET_NODE = 0x404,
  NATIVE_OBJECT_NODE = 0x405,
  NATIVE_AMBIENT_NODE = 0x406,
};

// Scene stage: the object chunks appended to the active scene's object list. Motion stage:
// the frame range and the animation nodes with their tracks, each node's object found by id.
// Both: 0; 1 out of memory; 3 a short or corrupt file (cut, a chunk running past the end, a
// count that does not fit its chunk or passes base/limits.h, a string of 64 bytes or more, a face
// index outside the vertices, no object chunk, or a header that promises motion without a frame
// range and nodes); 4 a version other than 1 and 2; 9 without an active scene; 256 an object,
// material or node object id that is not in the scene (or names an object of another kind).
// Chunks of unknown ids, and the other stage's chunks, are skipped by their length.
int read_native_scene(SceneFile& file);
int read_native_motion(SceneFile& file);

// Writes the active scene at the file's position, lengths patched as each chunk closes.
// 256 without an active scene, 9 with an empty object list, 1 out of memory, 4 when the scene
// holds what the format cannot: a name or map file name of 64 bytes or more or with a zero
// byte, an object or node of an unknown kind, or a node without its object.
int write_native_scene(SceneFile& file);
// The same in the layout of a given version (1 or 2; 4 for any other).
int write_native_scene_version(SceneFile& file, std::int32_t version);

// The two load stages over a native file, as scene_load and scene_load_motion run them over
// the first driver: the scene is cleared, read, given its bounding boxes and (LIB_NORMALS) its
// normals, or emptied again on failure; the motion stage evaluates frame 0. A version 2 file
// brings its boxes and normals along; a mesh stored without normals gets them computed. The
// active scene (and camera) are the same before and after.
int native_load_scene(const char* file_name, Scene* scene);
int native_load_motion(const char* file_name, Scene* scene);
// Writes the scene to a file in the current version: the writer's codes, then 2 when the
// file cannot be created and 3 when writing it fails.
int native_save_scene(const char* file_name, Scene* scene);
// True when the file begins with the native magic bytes.
bool native_file_is_native(const char* file_name);
