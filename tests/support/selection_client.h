#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <xcb/xcb.h>

namespace quirlomat::testing {

// What a paste brought back.
struct Pasted {
    bool refused = false;      // the owner answered with property None
    std::string type;          // the type of the data, by name
    std::uint8_t format = 0;   // 8, 16 or 32
    std::string data;          // the bytes, put together from every INCR chunk
    bool incremental = false;  // the data came in INCR chunks
};

// A client of its own connection and window that pastes from CLIPBOARD the way ICCCM asks
// of a requestor, INCR included, step by step so that a test can interleave several.
class SelectionClient {
public:
    explicit SelectionClient(const std::string& display);
    ~SelectionClient();
    SelectionClient(const SelectionClient&) = delete;
    SelectionClient& operator=(const SelectionClient&) = delete;

    xcb_window_t window() const { return window_; }
    xcb_atom_t Atom(const std::string& name);
    std::string AtomName(xcb_atom_t atom);
    xcb_window_t ClipboardOwner();
    // Waits until nobody owns CLIPBOARD: the server lets go of a client's selections only
    // once it has noticed the client's end. False when that takes implausibly long.
    bool WaitUntilClipboardHasNoOwner();
    // Makes this client's window the owner of CLIPBOARD.
    void TakeClipboard();

    // A whole paste: Request, then Receive, then every chunk.
    Pasted Paste(const std::string& target, xcb_timestamp_t time = XCB_CURRENT_TIME);

    // Asks for target into this client's property, or, with withProperty false, with property
    // None as obsolete clients do (the owner then uses the target's name).
    void Request(const std::string& target, xcb_timestamp_t time = XCB_CURRENT_TIME,
                 bool withProperty = true);
    // Waits for the owner's answer and reads (and deletes) the property; for INCR, the
    // result is marked incremental and its data is still empty.
    Pasted Receive();
    // Waits for the next INCR chunk and appends it to pasted; false after the final empty one.
    bool ReceiveChunk(Pasted* pasted);

    // Numbers of a format-32 property, as TARGETS and TIMESTAMP give them.
    static std::vector<std::uint32_t> Numbers(const Pasted& pasted);

    // A further window of this client, watched like its first.
    xcb_window_t AddWindow();
    // Asks for target into property on window (a window of this client's); Receive and
    // ReceiveChunk then read there.
    void RequestOn(xcb_window_t window, const std::string& target, xcb_atom_t property);
    // Reads (and deletes) property on window, as Receive does with the answer.
    Pasted ReadProperty(xcb_window_t window, xcb_atom_t property);
    // Sets property on the client's first window to a list of atoms (format 32).
    void SetAtoms(xcb_atom_t property, xcb_atom_t type, const std::vector<xcb_atom_t>& atoms);
    // Sends a made-up event (32 bytes) to the clipboard owner's window, as any client may.
    void SendToOwner(const void* event);
    // One round trip: the server has handled every request of this client so far.
    void Sync();

    // Pastes as a compositor's X bridge makes them for its readers: many under way at once on
    // this one connection, each on a new window of its own.
    struct BridgedPaste {
        xcb_window_t window = XCB_WINDOW_NONE;
        bool answered = false;
        bool done = false;  // refused, or the whole text is in
        Pasted pasted;
    };
    // Asks for target on a new window; returns the paste's index in bridged().
    std::size_t StartOnNewWindow(const std::string& target);
    // Handles what has come for those pastes: answers and, with readChunks, every INCR chunk,
    // read at once. Waits up to waitMs for the first event; false when none came.
    bool ServeBridged(bool readChunks, int waitMs);
    // Serves the bridged pastes until every one is done; false when the owner falls silent.
    bool FinishBridged();
    const std::vector<BridgedPaste>& bridged() const { return bridged_; }

private:
    xcb_generic_event_t* WaitFor(std::uint8_t type);
    Pasted ReadProperty(xcb_atom_t property);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    xcb_atom_t property_ = XCB_ATOM_NONE;
    xcb_atom_t clipboard_ = XCB_ATOM_NONE;
    xcb_atom_t incr_ = XCB_ATOM_NONE;
    xcb_atom_t requested_ = XCB_ATOM_NONE;  // where the pending answer goes
    xcb_window_t requestedOn_ = XCB_WINDOW_NONE;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::vector<BridgedPaste> bridged_;
};

}  // namespace quirlomat::testing
