// Failure kinds. Every failure carries one complete, operator-readable message;
// every kind has a name and can make a new failure of its own kind from a text
// (only the text is carried over, any further data keeps the kind's defaults), or a
// copy of itself with another text (everything else carried over).
//
// A failure may also say, as data, what it means for whoever acts on it: its reason
// (for a scheduler: retry later, or call somebody), and whether its text already
// says that the working database is unchanged (so nobody adds that line again).
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// Why a rebuild failed, for machines; kUnset leaves it to be told by the failure's
// kind and codes (FailureReasonOf).
enum class TFailureReason : unsigned char {
  kUnset,
  kBusy,               // another program attached or rebuilding: nothing changed
  kLogin,              // the server refused the login
  kServerUnreachable,  // no server, or the connection to it lost
  kNoRoom,             // no room on the disk
  kPath,               // the path or the file refused before anything was done
  kBackupFailed,
  kRestoreFailed,
  kNotSwapped,   // the rebuilt file could not take the working file's place
  kNotFlushed,   // it did, but the folder's change is not on the disk yet
  kInterrupted,  // the run was ended from outside
  kRecovered,    // an earlier run was undone: nothing changed, repeat
  kLibrary,      // the utility or client library missing or unusable
  kUsage,        // a wrong command line
  kInternal,
};

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
  // A copy of this failure, of its kind and with all its data, carrying `message`:
  // for wrapping a failure whose codes are decided on further out.
  virtual std::unique_ptr<Exception> CopyWithMessage(std::string message) const {
    auto copy = std::make_unique<Exception>(*this);
    copy->SetMessage(std::move(message));
    return copy;
  }
  // Throws a copy of this failure as its own kind, so `catch (const EOSError&)` sees it.
  [[noreturn]] virtual void Raise() const { throw *this; }

  TFailureReason Reason() const noexcept { return reason_; }
  // Its text says already that the working database is unchanged.
  bool TellsUnchanged() const noexcept { return tellsUnchanged_; }
  // At the throw site: `throw Exception(text).Because(TFailureReason::kPath);`
  Exception& Because(TFailureReason reason) noexcept {
    reason_ = reason;
    return *this;
  }
  Exception& SaysUnchanged() noexcept {
    tellsUnchanged_ = true;
    return *this;
  }

 protected:
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
  TFailureReason reason_ = TFailureReason::kUnset;
  bool tellsUnchanged_ = false;
};

// Gives a kind its CreateNew and Raise; the kind itself names itself.
template <class Self, class Base>
class ExceptionKind : public Base {
 public:
  using Base::Base;
  std::unique_ptr<Exception> CreateNew(std::string message) const override {
    return std::make_unique<Self>(std::move(message));
  }
  std::unique_ptr<Exception> CopyWithMessage(std::string message) const override {
    auto copy = std::make_unique<Self>(static_cast<const Self&>(*this));
    copy->SetMessage(std::move(message));
    return copy;
  }
  [[noreturn]] void Raise() const override { throw static_cast<const Self&>(*this); }
  // As the base's, keeping the kind for `throw`.
  Self& Because(TFailureReason reason) noexcept {
    Exception::Because(reason);
    return static_cast<Self&>(*this);
  }
  Self& SaysUnchanged() noexcept {
    Exception::SaysUnchanged();
    return static_cast<Self&>(*this);
  }
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

// A status reported by the database server or its client library: its text for
// people, and for decisions its codes — the first, every gds code of the status
// vector in order, and the system error codes it carries (the operating system's
// reason behind an I/O failure).
class EIBInterBaseError : public ExceptionKind<EIBInterBaseError, Exception> {
 public:
  explicit EIBInterBaseError(std::string message, long sqlCode = 0, long ibErrorCode = 0,
                             std::vector<long> gdsCodes = {}, std::vector<long> systemCodes = {})
      : ExceptionKind(std::move(message)),
        sqlCode_(sqlCode),
        ibErrorCode_(ibErrorCode),
        gdsCodes_(std::move(gdsCodes)),
        systemCodes_(std::move(systemCodes)) {}
  const char* ClassName() const noexcept override { return "EIBInterBaseError"; }
  long SQLCode() const noexcept { return sqlCode_; }
  long IBErrorCode() const noexcept { return ibErrorCode_; }
  const std::vector<long>& GdsCodes() const noexcept { return gdsCodes_; }
  const std::vector<long>& SystemCodes() const noexcept { return systemCodes_; }
  bool HasCode(long gdsCode) const noexcept {
    return ibErrorCode_ == gdsCode ||
           std::find(gdsCodes_.begin(), gdsCodes_.end(), gdsCode) != gdsCodes_.end();
  }

 private:
  long sqlCode_;
  long ibErrorCode_;
  std::vector<long> gdsCodes_;
  std::vector<long> systemCodes_;
};

// The program was asked to end (a signal, a console event) while it waited for the
// server: the work stops the way a failure stops it.
class EInterrupted : public ExceptionKind<EInterrupted, Exception> {
 public:
  using ExceptionKind::ExceptionKind;
  const char* ClassName() const noexcept override { return "EInterrupted"; }
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
