#include "ReferenceMd5.h"

#include <openssl/evp.h>

std::string ReferenceMd5(std::string_view data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), out, &size, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += hex[out[i] >> 4];
        text += hex[out[i] & 15];
    }
    return text;
}
