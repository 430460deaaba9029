// native_format.cpp: the native format's stage operations and writer. This build handles no
// native data yet: every operation answers that the format is not supported.
#include "scene/native_format.h"

#include "scene/scene.h"

int read_native_scene(SceneFile&) { return SCENE_NOT_SUPPORTED; }
int read_native_motion(SceneFile&) { return SCENE_NOT_SUPPORTED; }
int write_native_scene(SceneFile&) { return SCENE_NOT_SUPPORTED; }
