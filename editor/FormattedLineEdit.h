#pragma once

// A line edit whose every change goes through a typing check: the edit
// stands, is undone (the text and selection it had come back), or the whole
// text is replaced and selected as the check says. The module cells use it
// with the house code, unit and type checks; the event editor's offset sign
// field will too.

#include "schedule/FieldFormatters.h"

#include <QLineEdit>

#include <functional>
#include <string_view>

namespace vantrel {

using TypingCheckFunction = std::function<TypingCheck(std::string_view, std::size_t)>;

class FormattedLineEdit : public QLineEdit
{
    Q_OBJECT

  public:
    FormattedLineEdit(TypingCheckFunction check, QWidget* parent = nullptr);

    // Sets the text without checking it (the stored value's own text).
    void setCheckedText(const QString& text);

  private:
    void remember();
    void onTextEdited(const QString& text);

    TypingCheckFunction m_check;
    QString m_text;
    int m_cursor = 0;
    int m_selectionStart = -1;
    int m_selectionLength = 0;
    bool m_applying = false;
};

} // namespace vantrel
