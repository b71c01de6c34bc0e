#include "snap/writer/md5.h"

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <md5.h>
#endif

#ifdef _WIN32

namespace {

// The algorithm, opened once for the process: a handle may be shared by
// threads, each making its own hash object from it.
BCRYPT_ALG_HANDLE md5Algorithm() {
    static BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
            handle = nullptr;
        return handle;
    }();
    return algorithm;
}

} // namespace

int md5Bytes(const uint8_t* bytes, size_t size, uint8_t digest[MD5_BYTES]) {
    BCRYPT_ALG_HANDLE algorithm = md5Algorithm();
    if (!algorithm) return 0;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return 0;
    bool ok = true;
    // BCryptHashData takes at most a ULONG of bytes at a time.
    while (ok && size > 0) {
        const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(bytes), chunk, 0));
        bytes += chunk;
        size -= chunk;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, MD5_BYTES, 0));
    BCryptDestroyHash(hash);
    return ok;
}

#else

int md5Bytes(const uint8_t* bytes, size_t size, uint8_t digest[MD5_BYTES]) {
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, bytes, size);
    MD5Final(digest, &context);
    return 1;
}

#endif

void md5Text(const uint8_t digest[MD5_BYTES], char text[MD5_TEXT_SIZE]) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < MD5_BYTES; ++i) {
        text[2 * i] = hex[digest[i] >> 4];
        text[2 * i + 1] = hex[digest[i] & 15];
    }
    text[2 * MD5_BYTES] = '\0';
}
