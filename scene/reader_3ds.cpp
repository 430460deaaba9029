// reader_3ds.cpp: the 3DS stage operations. This build reads no 3DS data yet, so every file
// is refused as unsupported and the load stages free what they started.
#include "scene/reader_3ds.h"

#include "scene/scene.h"

int read_3ds_scene(SceneFile&) { return SCENE_NOT_SUPPORTED; }
int read_3ds_motion(SceneFile&) { return SCENE_NOT_SUPPORTED; }
