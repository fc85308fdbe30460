#include "app/uQRCode.h"

#include <qrencode.h>

#include <memory>
#include <string>

#include "base/uErrors.h"

TQRCode::TQRCode(std::string_view AText) {
  const std::string text(AText);
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
  if (!code) throw Exception(u"The address is too long for a QR code");
  FSize = code->width;
  FModules.resize(static_cast<std::size_t>(FSize * FSize));
  // Bit 0 of each byte is the module's colour; the other bits describe its role.
  for (std::size_t i = 0; i < FModules.size(); ++i) FModules[i] = (code->data[i] & 1) != 0;
}
