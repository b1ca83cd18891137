// Failure kinds. Every failure carries one complete, operator-readable message;
// every kind has a name and can make a new failure of its own kind from a text
// (only the text is carried over, any further data keeps the kind's defaults).
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  ~Exception() override = default;

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

  // The kind's name as the class-name mark shows it ("Exception", "EOSError", ...).
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // A new failure of exactly this kind carrying `message`.
  virtual std::unique_ptr<Exception> CreateNew(std::string message) const {
    return std::make_unique<Exception>(std::move(message));
  }
  // Throws a copy of this failure as its own kind, so `catch (const EOSError&)` sees it.
  [[noreturn]] virtual void Raise() const { throw *this; }

 private:
  std::string message_;
};

// Gives a kind its CreateNew and Raise; the kind itself names itself.
template <class Self, class Base>
class ExceptionKind : public Base {
 public:
  using Base::Base;
  std::unique_ptr<Exception> CreateNew(std::string message) const override {
    return std::make_unique<Self>(std::move(message));
  }
  [[noreturn]] void Raise() const override { throw static_cast<const Self&>(*this); }
};

// A failed system call: its code and the system's text for it.
class EOSError : public ExceptionKind<EOSError, Exception> {
 public:
  explicit EOSError(std::string message, std::uint32_t errorCode = 0)
      : ExceptionKind(std::move(message)), errorCode_(errorCode) {}
  const char* ClassName() const noexcept override { return "EOSError"; }
  std::uint32_t ErrorCode() const noexcept { return errorCode_; }

 private:
  std::uint32_t errorCode_;
};

// Text that cannot be converted (a bad format, a number that is none).
class EConvertError : public ExceptionKind<EConvertError, Exception> {
 public:
  using ExceptionKind::ExceptionKind;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

// A misuse of the progress viewer.
class EProgressException : public ExceptionKind<EProgressException, Exception> {
 public:
  using ExceptionKind::ExceptionKind;
  const char* ClassName() const noexcept override { return "EProgressException"; }
};

// A status reported by the database server or its client library.
class EIBInterBaseError : public ExceptionKind<EIBInterBaseError, Exception> {
 public:
  explicit EIBInterBaseError(std::string message, long sqlCode = 0, long ibErrorCode = 0)
      : ExceptionKind(std::move(message)), sqlCode_(sqlCode), ibErrorCode_(ibErrorCode) {}
  const char* ClassName() const noexcept override { return "EIBInterBaseError"; }
  long SQLCode() const noexcept { return sqlCode_; }
  long IBErrorCode() const noexcept { return ibErrorCode_; }

 private:
  long sqlCode_;
  long ibErrorCode_;
};

// The database client library is missing or unusable.
class EIBClientError : public ExceptionKind<EIBClientError, Exception> {
 public:
  using ExceptionKind::ExceptionKind;
  const char* ClassName() const noexcept override { return "EIBClientError"; }
};

// An EOSError for `code`: "System Error.  Code: 2.\r\nThe system cannot find the file specified".
EOSError MakeOSError(std::uint32_t code);
[[noreturn]] void RaiseOSError(std::uint32_t code);
// Raises the error that the last failed system call of this thread left.
[[noreturn]] void RaiseLastOSError();
