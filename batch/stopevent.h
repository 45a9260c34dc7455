// A stop that many threads wait for at once: set once, it stays set, and its descriptor stays
// readable for every poll that includes it.
#pragma once

class CStopEvent {
public:
    CStopEvent();
    ~CStopEvent();
    CStopEvent(const CStopEvent&) = delete;
    CStopEvent& operator=(const CStopEvent&) = delete;

    void Set();
    bool IsSet() const;
    int Descriptor() const { return m_descriptor; }

private:
    int m_descriptor;
};
