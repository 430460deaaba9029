// reader_3ds.h: the "3DS" scene driver: 3D Studio chunk files read into the active scene,
// the editor objects in the scene stage and the keyframer in the motion stage.
// Both read a whole in-memory file and return a result code; neither owns anything.
#pragma once

struct SceneFile;

int read_3ds_scene(SceneFile& file);
int read_3ds_motion(SceneFile& file);
