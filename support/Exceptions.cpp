#include "support/Exceptions.h"

#include "support/Cp1251.h"

namespace kestrune::exceptions {

using namespace kestrune::text::literals;

Exception::Exception(std::string message)
    : message(std::move(message)) {}

std::string Exception::text() const {
    return std::string("Ошибка: "_cp1251) + message;
}

OutOfMemory::OutOfMemory(std::string typeName, std::int32_t objectCount, std::int32_t objectSize)
    : Exception(outOfMemoryMessage())
    , typeName(std::move(typeName))
    , objectCount(objectCount)
    , objectSize(objectSize) {}

std::string OutOfMemory::text() const {
    return std::string("Ошибка при попытке выделить место для "_cp1251) +
           std::to_string(objectCount) + std::string(" объектов типа "_cp1251) + typeName +
           std::string(" по "_cp1251) + std::to_string(objectSize) +
           std::string(" байт каждый: недостаточно памяти."_cp1251);
}

IteratorException::IteratorException(std::string message, std::string containerName,
                                     std::string elementName)
    : Exception(std::move(message))
    , containerName(std::move(containerName))
    , elementName(std::move(elementName)) {}

InvalidIterator::InvalidIterator(std::string containerName, std::string elementName)
    : Exception(invalidIteratorMessage())
    , IteratorException(invalidIteratorMessage(), std::move(containerName),
                        std::move(elementName)) {}

std::string outOfMemoryMessage() {
    return std::string("Недостаточно памяти."_cp1251);
}

std::string invalidIteratorMessage() {
    return std::string("Итератор ссылается за пределы контейнера."_cp1251);
}

} // namespace kestrune::exceptions
