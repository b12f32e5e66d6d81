#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace kestrune::exceptions {

// Root of the library's exceptions. Every other class inherits it virtually,
// so an exception object holds exactly one message however it is reached.
// Texts are CP1251, like every text of the program.
class Exception : public std::exception {
public:
    explicit Exception(std::string message);
    ~Exception() override = default;

    const std::string& getMessage() const { return message; }

    // The text to show for the exception: "Ошибка: " and the message.
    virtual std::string text() const;

    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

class OutOfMemory : public virtual Exception {
public:
    OutOfMemory(std::string typeName, std::int32_t objectCount, std::int32_t objectSize);

    std::string text() const override;

private:
    std::string typeName;
    std::int32_t objectCount;
    std::int32_t objectSize;
};

class IteratorException : public virtual Exception {
public:
    IteratorException(std::string message, std::string containerName, std::string elementName);

    const std::string& getContainerName() const { return containerName; }
    const std::string& getElementName() const { return elementName; }

private:
    std::string containerName;
    std::string elementName;
};

class InvalidIterator : public IteratorException {
public:
    InvalidIterator(std::string containerName, std::string elementName);
};

// The library-wide message texts, in CP1251.
std::string outOfMemoryMessage();
std::string invalidIteratorMessage();

} // namespace kestrune::exceptions
