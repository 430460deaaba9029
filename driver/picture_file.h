// picture_file.h: a picture file as bitmap and ipol_mesh layers (and quindle-tool) load it,
// whatever its format: the first bytes choose between the 8-bit paletted PCX the show has
// always read, PNG and JPEG. All three give the same 0x00RRGGBB pixels. A PCX that is not one
// plane of palette indices (a 24-bit PCX of three planes) is refused with the hint to convert it.
#pragma once

#include <string>

#include "effects/picture.h"

// The picture, with result (a PICTURE_* code: PICTURE_TRUNCATED keeps what was decoded) and,
// when there was a problem, a sentence about it for the author in *problem.
Picture load_any_picture(const std::string& path, int* result, std::string* problem);
