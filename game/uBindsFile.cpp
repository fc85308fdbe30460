#include "game/uBindsFile.h"

#include <set>

#include <pugixml.hpp>

#include "base/uText.h"
#include "base/uFiles.h"

namespace {

// Root, action, Primary, Modifier: anything much deeper is not a bindings file.
constexpr int kMaxDepth = 16;

// No DOCTYPE is let through (it is kept as a node only to be refused), so no entity but XML's
// own five and character references is ever expanded; comments and processing instructions
// are dropped unread.
constexpr unsigned kParseOptions = pugi::parse_escapes | pugi::parse_eol | pugi::parse_doctype;

[[noreturn]] void Refuse(std::u16string_view AName, std::string_view AWhat) {
  throw EBindsError(std::u16string(AName) + u": " + Utf8ToUtf16(AWhat));
}

// Walks every node without recursion: refuses a DOCTYPE anywhere and nesting past the limit.
void CheckShape(const pugi::xml_document& ADocument, std::u16string_view AName) {
  int depth = 0;
  pugi::xml_node node = ADocument.first_child();
  while (node) {
    if (node.type() == pugi::node_doctype) Refuse(AName, "a bindings file has no DOCTYPE; refused");
    if (node.first_child()) {
      if (++depth > kMaxDepth) Refuse(AName, "nested too deeply for a bindings file; refused");
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == ADocument) return;
    }
    if (node) node = node.next_sibling();
  }
}

TBindsKey KeyOf(const pugi::xml_node& ANode) {
  return TBindsKey{ANode.attribute("Device").value(), ANode.attribute("Key").value()};
}

TBindsBinding BindingOf(const pugi::xml_node& ANode) {
  TBindsBinding binding;
  static_cast<TBindsKey&>(binding) = KeyOf(ANode);
  for (const pugi::xml_node& modifier : ANode.children("Modifier")) binding.Modifiers.push_back(KeyOf(modifier));
  return binding;
}

}  // namespace

const TBindsAction* TBindsFile::Find(std::string_view AName) const {
  for (const TBindsAction& action : Actions)
    if (action.Name == AName) return &action;
  return nullptr;
}

TBindsFile ParseBindsFile(std::string_view ABytes, std::u16string_view AName) {
  if (ABytes.size() > kMaxBindsFileSize) Refuse(AName, "larger than 4 MiB, which no bindings file is; refused");
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_buffer(ABytes.data(), ABytes.size(), kParseOptions);
  if (!result)
    Refuse(AName, std::string("not a bindings file (") + result.description() + " at byte " +
                      std::to_string(result.offset) + ")");
  CheckShape(document, AName);
  int elements = 0;
  for (const pugi::xml_node& node : document.children())
    if (node.type() == pugi::node_element) ++elements;
  const pugi::xml_node root = document.document_element();
  if (elements != 1 || std::string_view(root.name()) != "Root") Refuse(AName, "not a bindings file (no Root element)");

  TBindsFile file;
  file.FileName = std::u16string(AName);
  file.PresetName = root.attribute("PresetName").value();
  file.MajorVersion = root.attribute("MajorVersion").value();
  file.MinorVersion = root.attribute("MinorVersion").value();
  std::set<std::string, std::less<>> seen;
  for (const pugi::xml_node& node : root.children()) {
    if (node.type() != pugi::node_element) continue;
    const std::string_view name = node.name();
    if (name == "KeyboardLayout") {
      std::string_view layout = node.child_value();
      while (!layout.empty() && static_cast<unsigned char>(layout.front()) <= ' ') layout.remove_prefix(1);
      while (!layout.empty() && static_cast<unsigned char>(layout.back()) <= ' ') layout.remove_suffix(1);
      file.KeyboardLayout = layout;
      continue;
    }
    const pugi::xml_node primary = node.child("Primary");
    const pugi::xml_node secondary = node.child("Secondary");
    // Axes and settings hold no Primary or Secondary; the first of two same-named actions holds.
    if ((!primary && !secondary) || !seen.emplace(name).second) continue;
    file.Actions.push_back(TBindsAction{std::string(name), BindingOf(primary), BindingOf(secondary)});
  }
  return file;
}

TBindsFile ReadBindsFile(const std::u16string& AFileName) {
  std::string bytes;
  try {
    bytes = ReadSharedFileBytes(AFileName, kMaxBindsFileSize);
  } catch (const Exception& e) {
    throw EBindsError(AFileName + u": cannot be read: " + e.Message());
  }
  return ParseBindsFile(bytes, AFileName);
}
