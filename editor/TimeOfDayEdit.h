#pragma once

// The event editor's time of day: edited section by section as any time edit,
// or typed whole. Typing over the whole selected time replaces all of it with
// what is typed, read when the typing ends (Return, Tab, focus leaving).

#include <QTimeEdit>

#include <optional>

namespace vantrel {

class TimeOfDayEdit : public QTimeEdit
{
    Q_OBJECT

  public:
    explicit TimeOfDayEdit(QWidget* parent = nullptr);

    // "9:30 AM", "9:30pm", "930 p", "9 PM"; without AM or PM a 24-hour
    // time, "21:30". Nothing for text that is no time of day.
    static std::optional<QTime> timeFromText(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab after a whole typed time leaves the field, not for its next section.
    bool focusNextPrevChild(bool next) override;

  private:
    // Sets the typed time, or shows the time as it was when it is none.
    void finishTyping();

    bool m_typingWhole = false;
    QString m_typed;
};

} // namespace vantrel
