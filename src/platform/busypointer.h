#pragma once

// The mouse pointer as one state: busy (hourglass) or normal (arrow).
// Setting it twice is the same as setting it once.
namespace BusyPointer {
void set(bool busy);
bool isBusy();
} // namespace BusyPointer

// Shows the arrow for the life of a modal window and puts back what was there.
class NormalPointerWhile
{
public:
    NormalPointerWhile();
    ~NormalPointerWhile();
    NormalPointerWhile(const NormalPointerWhile &) = delete;
    NormalPointerWhile &operator=(const NormalPointerWhile &) = delete;

private:
    bool m_wasBusy;
};
