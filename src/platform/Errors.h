#pragma once

#include <stdexcept>
#include <string>

// Base of the program's own failures; the message is what the user sees.
class EQuillon : public std::runtime_error {
public:
    explicit EQuillon(const std::string& message) : std::runtime_error(message) {}
};

// A file or folder operation failed. `code` is the system error number (errno), 0 when there is none.
class EFileError : public EQuillon {
public:
    EFileError(const std::string& message, int code = 0) : EQuillon(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Text that cannot be represented in the code page used on disk and on the wire.
class EEncodingError : public EQuillon {
public:
    using EQuillon::EQuillon;
};

// A check of a precondition that the caller must meet failed.
class EAssertionFailed : public EQuillon {
public:
    using EQuillon::EQuillon;
};
