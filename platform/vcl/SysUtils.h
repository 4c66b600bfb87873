// The platform's exceptions and a few string helpers.
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    std::string Message;
};

// Raised to leave a handler silently: the error box does not show it.
class EAbort : public Exception {
public:
    using Exception::Exception;
};
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EClassNotFound : public EReadError {
public:
    using EReadError::EReadError;
};
class EResNotFound : public Exception {
public:
    using Exception::Exception;
};
class EListError : public Exception {
public:
    using Exception::Exception;
};
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};
// The display component's errors.
class EDirectDrawError : public Exception {
public:
    using Exception::Exception;
};

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True for an existing file; false for a folder or for nothing.
bool FileExists(const std::string& fileName);
bool DeleteFile(const std::string& fileName);
