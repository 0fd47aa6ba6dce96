#include "DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace {

class SharedLibrary : public DynamicLibrary {
public:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    ~SharedLibrary() override { dlclose(handle_); }
    void* Symbol(const std::string& name) override { return dlsym(handle_, name.c_str()); }
    std::string ModulePath() const override {
        link_map* map = nullptr;
        if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
            return map->l_name;
        return {};
    }

private:
    void* handle_;
};

} // namespace

std::unique_ptr<DynamicLibrary> LoadSharedLibrary(const std::string& fileName) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    return std::make_unique<SharedLibrary>(handle);
}
