#include "snap/writer/picture_frame.h"

#include "snap/writer/picture.h"

int encodePictureFrame(const WriterContext* c, const uint8_t* frame, WriterOutput* out, std::string* error,
                       size_t headerBytes, const char* kind, PictureEncoder encode) {
    int32_t width, height;
    if (!buildPicture(c, frame, out, &width, &height, headerBytes)) {
        *error = "a picture cannot be built for this frame";
        return 0;
    }
    const std::vector<uint8_t>* encoded = encode(c, width, height, out);
    if (!encoded) {
        *error = std::string("the picture is too large for ") + kind;
        return 0;
    }
    out->bytes = encoded->data();
    out->size = encoded->size();
    return 1;
}
