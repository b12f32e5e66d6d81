#pragma once

#include "support/Exceptions.h"

namespace kestrune::containers::exceptions {

class LimitedStackException : public virtual kestrune::exceptions::Exception {
public:
    explicit LimitedStackException(std::string message)
        : kestrune::exceptions::Exception(std::move(message)) {}
};

class LimitedStackOutOfMemory : public LimitedStackException,
                                public kestrune::exceptions::OutOfMemory {
public:
    LimitedStackOutOfMemory(std::string typeName, std::int32_t objectCount, std::int32_t objectSize)
        : kestrune::exceptions::Exception(kestrune::exceptions::outOfMemoryMessage())
        , LimitedStackException(kestrune::exceptions::outOfMemoryMessage())
        , kestrune::exceptions::OutOfMemory(std::move(typeName), objectCount, objectSize) {}

    std::string text() const override { return OutOfMemory::text(); }
};

class LimitedStackInvalidIterator : public LimitedStackException,
                                    public kestrune::exceptions::InvalidIterator {
public:
    explicit LimitedStackInvalidIterator(const std::string& elementName)
        : kestrune::exceptions::Exception(kestrune::exceptions::invalidIteratorMessage())
        , LimitedStackException(kestrune::exceptions::invalidIteratorMessage())
        , kestrune::exceptions::InvalidIterator(
              "kestrune::containers::LimitedStack<" + elementName + ">", elementName) {}

    std::string text() const override { return Exception::text(); }
};

} // namespace kestrune::containers::exceptions
