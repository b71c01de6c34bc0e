// Files made by the tests themselves: numbered frames, partial tails, sparse
// multi-gigabyte files. Each lives in a scratch folder removed at exit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/video_file.h"

// A fresh path in the scratch folder; nothing is created.
std::string scratchPath(const std::string& name);

// Byte i of frame k: the number k, eight bytes little-endian, over and over.
void fillNumberedFrame(uint8_t* frame, size_t size, int64_t k);
// The frame number read back from a buffer filled by fillNumberedFrame.
int64_t numberInFrame(const uint8_t* frame);

// Writes `frames` numbered frames of `frameBytes` each, then `tailBytes` bytes
// of frame number `frames`.
std::string writeNumberedFile(const std::string& name, size_t frameBytes, int64_t frames,
                              size_t tailBytes = 0);
std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes);

// A file of `size` bytes that is all hole except the frames listed, which are
// written numbered. Costs no disk.
std::string writeSparseFile(const std::string& name, int64_t size, size_t frameBytes,
                            const std::vector<int64_t>& markedFrames);

// Opens `bytes` as one frame of the given geometry and reads it into the record.
bool openFrameBytes(VideoFile* video, const std::vector<uint8_t>& bytes, int32_t width,
                    int32_t height, int32_t formatCode);

// A whole file's bytes as text; empty when it cannot be read.
std::string readWholeFile(const std::string& path);

// Random bytes from a fixed generator, the same on every run.
std::vector<uint8_t> randomBytes(size_t count, uint32_t start);
