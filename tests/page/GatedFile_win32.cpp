// Windows has no named pipe in the file system's namespace that a plain file open waits on.

#include "tests/page/GatedFile.h"

TGatedFile::TGatedFile(std::filesystem::path path) : FPath(std::move(path)) {}

TGatedFile::~TGatedFile() = default;

void TGatedFile::Release(std::string_view) {}
