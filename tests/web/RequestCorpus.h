#pragma once
// The shared corpus of raw HTTP requests, from another parser's test suite.

#include <filesystem>
#include <string>
#include <vector>

// The corpus's requests, in name order; empty when the corpus is absent.
std::vector<std::filesystem::path> RequestCorpusFiles();
// A file's bytes as they are.
std::string ReadFileBytes(const std::filesystem::path& APath);
