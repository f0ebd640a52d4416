#pragma once

#include <exception>
#include <string>

namespace modal {

// Thrown by the batch onset computation when the output array is too small.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

} // namespace modal
