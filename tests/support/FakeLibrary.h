#pragma once

#include "platform/DynamicLibrary.h"

#include <map>
#include <string>

/// An archiver library made of the entries a test gives it.
class FakeLibrary : public DynamicLibrary {
public:
    explicit FakeLibrary(std::map<std::string, void*> entries, std::string path = "/fake/library.dll")
        : entries_(std::move(entries)), path_(std::move(path)) {}
    void* Symbol(const std::string& name) override {
        auto it = entries_.find(name);
        return it == entries_.end() ? nullptr : it->second;
    }
    std::string ModulePath() const override { return path_; }

private:
    std::map<std::string, void*> entries_;
    std::string path_;
};
