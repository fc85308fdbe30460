#pragma once
// The panel editor's service side: the editor page and the small JSON endpoints it calls
// (the panel in use, a check, a preview rendered by the page's own renderer, save, the
// example panels). Only requests from this PC reach it; the module's admission check sees to
// that before any of these runs.

#include <cstdint>
#include <string>
#include <string_view>

#include "web/uRouteAnswer.h"

class TPageInfo;

using TEditorAnswer = TRouteAnswer;

class TPanelEditor {
 public:
  // ABasePath: the page files' directory, ending with the separator.
  TPanelEditor(TPageInfo& APageInfo, std::u16string ABasePath);

  // GET /edit: edit.html with edit.css and edit.js put in; 404 when edit.html is missing.
  TEditorAnswer Page() const;
  // GET /edit/panel: {"panel": the panel in use, "source": its file or "" for the built-in
  // page, "saveFile": where a save writes ("" when saving is not possible)}.
  TEditorAnswer Panel() const;
  // GET /edit/builtin: {"panel": the built-in page as a panel}.
  TEditorAnswer BuiltIn() const;
  // POST /edit/check, body a panel: {"ok": true} or {"ok": false, "problems": [{"message",
  // "place": {"part", "tab", "row", "cell", "member"}}]}.
  TEditorAnswer Check(std::string_view ABody) const;
  // POST /edit/preview, body a panel: the control page with that panel, as text/html; a
  // refused panel gets 422 and the problems as Check gives them.
  TEditorAnswer Preview(std::string_view ABody) const;
  // POST /edit/save, body a panel: a refused panel gets 422 and its problems and nothing is
  // written; else the old file is kept as ".bak", the new one replaces it whole and is put in
  // use at once. Saves are one at a time.
  TEditorAnswer Save(std::string_view ABody) const;
  // GET /edit/examples: [{"name", "panel"}] of the "panels" folder beside the page files.
  TEditorAnswer Examples() const;

  // Whether a request path belongs to the editor: "/edit" or anything under "/edit/", in any
  // letter case.
  static bool IsEditorPath(std::u16string_view APathInfo);

 private:
  TPageInfo& FPageInfo;
  std::u16string FBasePath;
};
