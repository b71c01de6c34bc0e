#include "snap/writer/writer.h"

// In the order messages list them.
const Writer* const writerTable[] = {&bmpWriter, &pngWriter, &yuvWriter, &y4mWriter, &frameMd5Writer};
const int writerCount = int(sizeof writerTable / sizeof writerTable[0]);
