#include "page/uPageElements.h"

#include "base/uText.h"

TPageItem::TPageItem(std::u16string AText, std::u16string AColor)
    : FText(std::move(AText)), FColor(std::move(AColor)) {}

TButtonBase::TButtonBase(std::u16string AText, std::u16string AColor, std::int32_t AColspan)
    : TPageItem(std::move(AText), std::move(AColor)), FColspan(AColspan) {}

std::u16string TButtonBase::StateAttributes() const {
  std::u16string result;
  for (const auto& [name, value] : {std::pair{u"lit", &FState.Lit}, std::pair{u"dim", &FState.Dim},
                                    std::pair{u"value", &FState.Value}, std::pair{u"toggle", &FState.Toggle}})
    if (!value->empty()) result += u" " + std::u16string(name) + u"=\"" + *value + u"\"";
  return result;
}

TButtonKeyPress::TButtonKeyPress(std::u16string AKey, std::u16string AText, std::u16string AColor,
                                 std::int32_t AColspan)
    : TButtonBase(std::move(AText), std::move(AColor), AColspan), FKey(std::move(AKey)) {}

std::u16string TButtonKeyPress::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" action=\"keypress\" key=\"" + Key() + u"\"" +
         StateAttributes() + u" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

std::u16string TButtonTitle::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\"" + StateAttributes() + u" class=\"background-" + Color() +
         u" small\">" + Text() + u"</td>";
}

TButtonButtons::TButtonButtons(std::vector<std::int32_t> AButtonIds, std::u16string AText,
                               std::u16string AColor, std::int32_t AColspan)
    : TButtonBase(std::move(AText), std::move(AColor), AColspan), FButtonsIds(std::move(AButtonIds)) {}

std::u16string TButtonButtons::ButtonsIdsAsString() const {
  std::u16string result;
  for (const std::int32_t id : FButtonsIds) {
    result += u',';
    result += IntToStr(id);
  }
  return result;
}

std::u16string TButtonButtons::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" action=\"" + GetAction() + u"\" key=\"" +
         ButtonsIdsAsString() + u"\"" + StateAttributes() + u" class=\"background-" + Color() + u"\">" + Text() +
         u"</td>";
}

TButtonGameAction::TButtonGameAction(std::u16string AAction, std::u16string AFallbackKeys, std::u16string AText,
                                     std::u16string AColor, std::int32_t AColspan)
    : TButtonBase(std::move(AText), std::move(AColor), AColspan),
      FAction(std::move(AAction)),
      FFallbackKeys(std::move(AFallbackKeys)) {}

std::u16string TButtonGameAction::AsHTML() const {
  const std::u16string fallback = FFallbackKeys.empty() ? u"" : u" keys=\"" + FFallbackKeys + u"\"";
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" action=\"gameaction\" key=\"" + FAction + u"\"" + fallback +
         StateAttributes() + u" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

std::u16string TButtonButtonsDown::GetAction() const { return u"buttonsdown"; }
std::u16string TButtonButtonsUp::GetAction() const { return u"buttonsup"; }
std::u16string TButtonButtonsPress::GetAction() const { return u"buttonspress"; }
std::u16string TButtonButtonsHold::GetAction() const { return u"buttonshold"; }

std::u16string TButtonRow::AsHTML() const {
  return LinesAround(u"<tr>", FButtons, [](const auto& button) { return button->AsHTML(); }, u"</tr>");
}

TButtonRow& TButtonRows::AddButtonRow() { return Add(std::make_unique<TButtonRow>()); }

std::u16string TButtonRows::AsHTML() const {
  std::u16string result;
  for (const auto& row : *this) {
    result += row->AsHTML();
    result += kCrLf;
  }
  return result;
}

TTabInfo::TTabInfo(std::u16string AId, std::u16string AText, std::u16string AColor)
    : TPageItem(std::move(AText), std::move(AColor)),
      FCommand(u"show"),
      FOnClick(u"docommand(this)"),
      FId(std::move(AId)) {}

std::u16string TTabInfo::AsHTML() const {
  throw EAbstractError(u"A tab renders only its tab cell or its table");
}

std::u16string TTabInfo::AsHTML(bool AHidden) const {
  const std::u16string hidden = AHidden ? u"class=\"hidden\"" : u"";
  std::u16string result = u"<table id=\"id_" + Id() + u"\" " + hidden + u">";
  result += kCrLf;
  result += FButtonRows.AsHTML();
  result += u"</table>";
  result += kCrLf;
  return result;
}

std::u16string TTabInfo::AsTabsHTML() const {
  return u"<td command=\"" + Command() + u"\" subject=\"" + Id() + u"\" onclick=\"" + OnClick() +
         u"\" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

TTabInfo& TTabInfos::AddTab(std::u16string AId, std::u16string AText, std::u16string AColor) {
  return Add(std::make_unique<TTabInfo>(std::move(AId), std::move(AText), std::move(AColor)));
}
