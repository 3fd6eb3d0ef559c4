#include "editor/TimeOfDayEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace vantrel {

TimeOfDayEdit::TimeOfDayEdit(QWidget* parent) : QTimeEdit(parent) {}

std::optional<QTime> TimeOfDayEdit::timeFromText(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(\d{1,2})(?:[:.]?(\d{2}))?\s*(?:([AaPp])\.?\s*(?:[Mm]\.?)?)?\s*$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    int hour = match.captured(1).toInt();
    const int minute = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    const QString half = match.captured(3).toUpper();
    if (minute > 59)
        return std::nullopt;
    if (half.isEmpty()) {
        if (hour > 23)
            return std::nullopt;
    } else {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == QLatin1String("P") ? 12 : 0);
    }
    return QTime(hour, minute);
}

void TimeOfDayEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool printable =
        !text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    // Section by section, a digit typed over the whole time lands in the
    // hours and the rest of what is typed in the sections after it.
    if (!m_typingWhole && printable && text.at(0).isDigit() && lineEdit()->hasSelectedText() &&
        lineEdit()->selectedText() == lineEdit()->text()) {
        m_typingWhole = true;
        m_typed.clear();
        // The half-typed text is no time yet: nothing is read until the end.
        setKeyboardTracking(false);
    }
    if (m_typingWhole) {
        switch (event->key()) {
        case Qt::Key_Escape:
            m_typed.clear();
            finishTyping();
            event->accept();
            return;
        case Qt::Key_Backspace:
            m_typed.chop(1);
            lineEdit()->setText(m_typed);
            event->accept();
            return;
        default:
            if (printable) {
                m_typed += text;
                lineEdit()->setText(m_typed);
                event->accept();
                return;
            }
            // Return, arrows and the like act on the typed time.
            finishTyping();
            break;
        }
    }
    QTimeEdit::keyPressEvent(event);
}

void TimeOfDayEdit::focusOutEvent(QFocusEvent* event)
{
    finishTyping();
    QTimeEdit::focusOutEvent(event);
}

bool TimeOfDayEdit::focusNextPrevChild(bool next)
{
    if (!m_typingWhole)
        return QTimeEdit::focusNextPrevChild(next);
    finishTyping();
    return QAbstractSpinBox::focusNextPrevChild(next);
}

void TimeOfDayEdit::finishTyping()
{
    if (!m_typingWhole)
        return;
    m_typingWhole = false;
    setKeyboardTracking(true);
    // Setting the time rewrites the text also when the time is unchanged.
    setTime(timeFromText(m_typed).value_or(time()));
}

} // namespace vantrel
