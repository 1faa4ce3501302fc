#pragma once

namespace pelmora {

// The hourglass over the program while long work runs. It doubles as the "busy" flag
// that row removal respects. Nested uses stack: the pointer returns to normal only
// when the last of them ends.
class BusyPointer
{
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

    static bool isBusy();
};

// The normal pointer for as long as a dialog asks the user something in the middle of
// long work; the hourglass returns afterwards.
class NormalPointerForDialog
{
public:
    NormalPointerForDialog();
    ~NormalPointerForDialog();
    NormalPointerForDialog(const NormalPointerForDialog &) = delete;
    NormalPointerForDialog &operator=(const NormalPointerForDialog &) = delete;
};

} // namespace pelmora
