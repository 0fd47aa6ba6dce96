#include "BuiltinZip.h"

#include "ArchiverApi.h"
#include "ZipCommand.h"
#include "ZipWriter.h"
#include "platform/Cp932.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies CP932 text into the caller's output buffer, cut to its size.
void report(char* output, uint32_t size, const std::string& cp932) {
    if (!output || size == 0)
        return;
    size_t n = std::min<size_t>(cp932.size(), size - 1);
    std::memcpy(output, cp932.data(), n);
    output[n] = '\0';
}

template <typename F> int run(const char* commandLine, bool utf8, char* output, uint32_t size, F&& f) {
    try {
        report(output, size, f(ParseZipCommand(commandLine ? commandLine : "", utf8)));
        return 0;
    } catch (const ZipFailure& e) {
        report(output, size, Utf8ToCp932Lossy(e.what()));
        return e.Code;
    } catch (const std::exception& e) {
        report(output, size, Utf8ToCp932Lossy(e.what()));
        return ERROR_CANNOT_WRITE;
    }
}

class BuiltinZipLibrary : public DynamicLibrary {
public:
    void* Symbol(const std::string& name) override {
        if (name == "Zip")
            return reinterpret_cast<void*>(&BuiltinZipCommand);
        if (name == "ZipCheckCommand")
            return reinterpret_cast<void*>(&BuiltinZipCheckCommand);
        if (name == "ZipUtf8")
            return reinterpret_cast<void*>(&BuiltinZipCommandUtf8);
        if (name == "ZipCheckCommandUtf8")
            return reinterpret_cast<void*>(&BuiltinZipCheckCommandUtf8);
        return nullptr;
    }
    std::string ModulePath() const override { return "ZIP32J.DLL (built in)"; }
};

} // namespace

extern "C" int BuiltinZipCommand(void*, const char* commandLine, char* output, uint32_t size) {
    return run(commandLine, false, output, size,
               [](ZipCommand command) { return ZipWriter(std::move(command)).Write(); });
}

extern "C" int BuiltinZipCheckCommand(void*, const char* commandLine, char* output, uint32_t size) {
    return run(commandLine, false, output, size, [](const ZipCommand&) { return std::string(); });
}

extern "C" int BuiltinZipCommandUtf8(void*, const char* commandLine, char* output, uint32_t size) {
    return run(commandLine, true, output, size,
               [](ZipCommand command) { return ZipWriter(std::move(command)).Write(); });
}

extern "C" int BuiltinZipCheckCommandUtf8(void*, const char* commandLine, char* output, uint32_t size) {
    return run(commandLine, true, output, size, [](const ZipCommand&) { return std::string(); });
}

std::unique_ptr<DynamicLibrary> CreateBuiltinZipLibrary() {
    return std::make_unique<BuiltinZipLibrary>();
}
