#pragma once

#include <exception>
#include <string>
#include <utility>

// The root of every error the tool raises. The message is kept as raw bytes: a
// router's error text may be in any single-byte code page, and it is shown as it came.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
