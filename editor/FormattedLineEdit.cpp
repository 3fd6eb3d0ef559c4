#include "editor/FormattedLineEdit.h"

namespace vantrel {
namespace {

// Byte offsets of the checks against character positions of the widget.
int characterPosition(const std::string& utf8, std::size_t byteOffset)
{
    return static_cast<int>(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(std::min(byteOffset, utf8.size())))
            .size());
}

} // namespace

FormattedLineEdit::FormattedLineEdit(TypingCheckFunction check, QWidget* parent)
    : QLineEdit(parent), m_check(std::move(check))
{
    connect(this, &QLineEdit::textEdited, this, &FormattedLineEdit::onTextEdited);
    connect(this, &QLineEdit::selectionChanged, this, &FormattedLineEdit::remember);
    connect(this, &QLineEdit::cursorPositionChanged, this, &FormattedLineEdit::remember);
}

void FormattedLineEdit::setCheckedText(const QString& text)
{
    m_applying = true;
    setText(text);
    m_applying = false;
    remember();
}

void FormattedLineEdit::remember()
{
    if (m_applying)
        return;
    m_text = text();
    m_cursor = cursorPosition();
    m_selectionStart = selectionStart();
    m_selectionLength = selectedText().size();
}

void FormattedLineEdit::onTextEdited(const QString& proposed)
{
    const std::string utf8 = proposed.toStdString();
    const std::size_t insertion = proposed.left(cursorPosition()).toUtf8().size();
    const TypingCheck result = m_check(utf8, insertion);
    m_applying = true;
    switch (result.outcome) {
    case TypingCheck::Outcome::Accept:
        break;
    case TypingCheck::Outcome::Refuse:
        setText(m_text);
        if (m_selectionStart >= 0 && m_selectionLength > 0)
            setSelection(m_selectionStart, m_selectionLength);
        else
            setCursorPosition(m_cursor);
        break;
    case TypingCheck::Outcome::Replace: {
        setText(QString::fromStdString(result.text));
        const int start = characterPosition(result.text, result.selectionStart);
        const int end =
            characterPosition(result.text, result.selectionStart + result.selectionLength);
        setSelection(start, end - start);
        break;
    }
    }
    m_applying = false;
    remember();
}

} // namespace vantrel
