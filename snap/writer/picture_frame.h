// The frame function the picture writers share: the picture is built, then
// the writer's own encoder turns it into the output's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/writer/writer.h"

// Encodes the picture of width x height in out->pixels, laid out
// as buildPicture left it, into one of out's buffers and returns that buffer;
// nullptr when the picture is too large for the format.
using PictureEncoder = const std::vector<uint8_t>* (*)(const WriterContext* c, int32_t width, int32_t height,
                                                     WriterOutput* out);

// Builds the picture of `frame` (headerBytes of room before it, see
// buildPicture) and encodes it; `kind` ("BMP") names the format in `error`.
int encodePictureFrame(const WriterContext* c, const uint8_t* frame, WriterOutput* out, std::string* error,
                       size_t headerBytes, const char* kind, PictureEncoder encode);
