#pragma once
// The panel editor's service side: the editor page and the small JSON endpoints it calls
// (the panel in use, a check, a preview rendered by the page's own renderer, save, the
// example panels, the live state, the player's game actions, and a review of what a panel's
// buttons would do). Only requests from this PC reach it; the module's admission check sees
// to that before any of these runs.

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
  // page, "saveFile": where a save writes ("" when saving is not possible)}. While the built-in
  // page stands in for a save file that the reader refuses, "refused" holds that file's
  // "problems", its "text" and, when it is a JSON object, its "panel" as written.
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
  // GET /edit/state: {"values": {name: value}, "source": words, as the live stream sends them,
  // "names": [{"name", "kind": "bool", "number" or "text"}]}: every name of the game's status
  // file in its fixed order, then every other name the state holds now (toggle cells',
  // scripts'), so a cell can name a state before it holds a value.
  TEditorAnswer State() const;
  // GET /edit/actions: the bindings in use, {"inUse", "file" ("" for none), "status" (the file,
  // or why none, in the bindings' own words), "actions": [{"action": "elite:<name>", "group",
  // "label", "bound", "reading", "why", "fix"}]}: every button action of the player's files,
  // grouped as the game groups them.
  TEditorAnswer Actions() const;
  // POST /edit/review, body a panel, with problems or not: what its buttons would do that the
  // user should see before the panel is put in use. {"keys": [{"place", "keys", "action" (true
  // for a game action's own keys), "holds" (of "Win", "Ctrl", "Alt"), "enter"}]}: every key
  // sequence that, played as the program plays it, holds the Windows key, Ctrl or Alt or ends
  // in Enter; "unbound": [{"place", "action", "label", "why", "fix"}]: the game actions with no
  // key in the player's bindings. Places as Check gives them.
  TEditorAnswer Review(std::string_view ABody) const;

  // Whether a request path belongs to the editor: "/edit" or anything under "/edit/", in any
  // letter case.
  static bool IsEditorPath(std::u16string_view APathInfo);

 private:
  TPageInfo& FPageInfo;
  std::u16string FBasePath;
};
