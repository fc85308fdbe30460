#pragma once
// Errors are exceptions carrying a message text.

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const noexcept { return FMessage; }
  // The message as UTF-8, for std::exception users.
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::u16string FMessage;
  std::string FWhat;
};

// A text that is not an integer.
class EConvertError : public Exception {
  using Exception::Exception;
};

// A file that exists but cannot be opened.
class EFOpenError : public Exception {
  using Exception::Exception;
};

// Bytes that do not decode in the encoding their byte-order mark announces.
class EEncodingError : public Exception {
  using Exception::Exception;
};

// A list index outside the list.
class EListError : public Exception {
  using Exception::Exception;
};

// Reading, writing or creating a file failed after it was opened.
class EInOutError : public Exception {
  using Exception::Exception;
};
