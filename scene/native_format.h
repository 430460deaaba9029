// native_format.h: the "NVF" scene driver: the library's own flat dump of a scene's objects,
// animation nodes, tracks and keys. The readers fill the active scene, the writer saves it;
// all work on an in-memory SceneFile and return a result code.
#pragma once

struct SceneFile;

int read_native_scene(SceneFile& file);
int read_native_motion(SceneFile& file);
// Writing grows the file's bytes, which may throw std::bad_alloc: the writer catches it and
// returns 1, so that no exception leaves the library.
int write_native_scene(SceneFile& file);
