#pragma once

namespace kestrune {

// Installs a value into a variable for the life of a scope and puts the
// previous value back when the scope is left, by return or by exception.
template <typename T>
class fixer {
public:
    fixer(T& place, T value)
        : place(place)
        , previous(place) {
        place = value;
    }
    ~fixer() { place = previous; }

    fixer(const fixer&) = delete;
    fixer& operator=(const fixer&) = delete;

protected:
    T& place;

private:
    T previous;
};

// A fixer for an owning pointer: at scope exit the installed object is
// deleted before the previous pointer is restored.
template <typename T>
class ptrFixer : public fixer<T*> {
public:
    ptrFixer(T*& place, T* value)
        : fixer<T*>(place, value) {}
    ~ptrFixer() { delete this->place; }
};

} // namespace kestrune
