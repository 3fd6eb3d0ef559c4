#pragma once

// Reads a typed event line ("on @ sunrise on 7/4/07 & every 3 days") into an
// Event. The grammar is forgiving: it never reports an error; each step that
// finds nothing leaves the cursor and the event alone, and whatever follows
// the last step that matched is ignored.
//
// The text is scanned as 8-bit characters. UTF-8 input is converted to
// Latin-1; a character Latin-1 has no place for, and any byte that is not
// valid UTF-8, becomes '?'. The text ends at its first NUL character, as a C
// string would. Every read is bounded by the end of the converted text.

#include "schedule/Event.h"

#include <string>
#include <string_view>

namespace vantrel {

// UTF-8 to Latin-1, '?' for what does not fit. Stops at the first NUL.
std::string eventTextToLatin1(std::string_view utf8);

class EventTextParser
{
  public:
    EventTextParser() { reset(); }
    // The cursor points into the parser's own copy of the text.
    EventTextParser(const EventTextParser&) = delete;
    EventTextParser& operator=(const EventTextParser&) = delete;

    // Parses the line (UTF-8) into the event, in place. Returns nothing: an
    // edit is never refused, only partly or not at all understood.
    void parse(std::string_view text, Event& event);

    // Clears the scanning state (cursor, hours, minutes).
    void reset();

    // Scanning primitives, usable on text loaded with setText().
    void setText(std::string_view text);
    const char* skipBlanks();
    bool foundTime(bool ampm);

    // The scanning state: the cursor into the 8-bit text, and the clock time
    // last read by foundTime().
    const char* cp = nullptr;
    int hours = 0;
    int minutes = 0;

    std::string_view rest() const;

  private:
    std::string m_text;
};

// One-shot form for callers that keep no parser.
void parseEventText(std::string_view text, Event& event);

} // namespace vantrel
