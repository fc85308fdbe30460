#include "base/uErrors.h"

#include "base/uText.h"

Exception::Exception(std::u16string message)
    : FMessage(std::move(message)), FWhat(Utf16ToUtf8(FMessage)) {}
