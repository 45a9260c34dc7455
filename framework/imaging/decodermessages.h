// What the image libraries say while a decode runs on this thread: the toolkit's warnings and
// libtiff's errors and warnings are collected here instead of reaching standard error, so that
// they can follow the program's own message. Outside a decode they go where they went before.
#pragma once

#include <string>
#include <vector>

class CDecoderMessages {
public:
    struct Message {
        std::string source; // the toolkit's logging category, or "tiff"
        std::string text;
    };

    // Collects on the calling thread until destroyed; one collector a thread at a time.
    CDecoderMessages();
    ~CDecoderMessages();
    CDecoderMessages(const CDecoderMessages&) = delete;
    CDecoderMessages& operator=(const CDecoderMessages&) = delete;

    // Whether a message came from a source whose name starts with prefix.
    bool AnyFrom(const std::string& prefix) const;
    // Whether a message's text holds words.
    bool AnyContaining(const std::string& words) const;
    // The texts, in order, joined by "；"; at most a few hundred bytes of them.
    std::string Text() const;

    // Adds to the collector of the calling thread; false when it has none.
    static bool Collect(const std::string& source, const std::string& text);

private:
    std::vector<Message> m_messages;
    CDecoderMessages* m_previous;
};
