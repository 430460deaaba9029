// frame_update.h: bringing the active scene to a frame. scene_set_frame chooses the frame,
// scene_update evaluates the tracks into the objects. Owns nothing; allocates nothing.
#pragma once

// 9 without an active scene or with an empty animation-node list, 8 when end - start is 0;
// otherwise the scene's start and end frame, and 0.
int scene_get_frame_range(float& start, float& end);
// The scene's current frame = frame, 0. 9 and 8 as above; 6 when frame is outside
// [start, end) (the end is excluded), and the current frame keeps its value.
int scene_set_frame(float frame);
// 9 without an active scene or when either of its lists is empty; otherwise 0.
int scene_update();
