// KorvaGL: the runtime's faults.
//
// Every failure in the framework is a C++ exception derived from TFault, whose
// ToString() gives the fault's fixed text. Hard failures raise TRuntimeError
// through RaiseRuntimeError with the texts each module documents; soft
// failures return the null object, 0, -1 or the empty string instead.
// An uncaught fault reaches RunApplication, which writes its text to standard
// error and ends the process with exit code -1.
#pragma once

#include <exception>
#include <string>

#include "korvagl/app/string.h"

namespace korva {

// Common base of every fault: carries the text ToString() returns.
class TFault : public std::exception {
public:
    virtual String ToString() const { return text_; }
    // The 8-bit form of the text.
    const char* what() const noexcept override { return bytes_.c_str(); }

protected:
    explicit TFault(const String& text) : text_(text), bytes_(text.ToBytes()) {}

private:
    String text_;
    std::string bytes_;
};

// Base of the runtime's own fault kinds.
class TRuntimeFault : public TFault {
protected:
    using TFault::TFault;
};

// A function that needs an object was handed the null object.
class TNullObjectFault : public TRuntimeFault {
public:
    TNullObjectFault() : TRuntimeFault("Attempt to access field or method of Null object") {}
};

// An abstract operation was called on a class that does not implement it.
class TAbstractMethodFault : public TRuntimeFault {
public:
    TAbstractMethodFault() : TRuntimeFault("Attempt to call abstract method") {}
};

// A function-pointer slot that was never assigned was called.
class TUnsetFunctionFault : public TRuntimeFault {
public:
    TUnsetFunctionFault() : TRuntimeFault("Attempt to call uninitialized function pointer") {}
};

// An index lies outside an array.
class TArrayIndexFault : public TRuntimeFault {
public:
    TArrayIndexFault() : TRuntimeFault("Attempt to index array element beyond array length") {}
};

// A read went past the end of some data.
class TDataEndFault : public TRuntimeFault {
public:
    TDataEndFault() : TRuntimeFault("Attempt to read beyond end of data") {}
};

// The generic failure with a text of its own.
class TRuntimeError : public TRuntimeFault {
public:
    explicit TRuntimeError(const String& text) : TRuntimeFault(text), text(text) {}
    static TRuntimeError Create(const String& text) { return TRuntimeError(text); }
    String text;
};

// Throws TRuntimeError with `text`. Never returns.
[[noreturn]] void RaiseRuntimeError(const String& text);
[[noreturn]] void RaiseNullObjectFault();
[[noreturn]] void RaiseAbstractMethodFault();
[[noreturn]] void RaiseArrayIndexFault();

}  // namespace korva
