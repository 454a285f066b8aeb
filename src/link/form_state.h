// The window-level state that the subsystems share: the request mailbox
// (slot flags and payload texts), the reply bookkeeping and the few values
// decoded from the controller that other parts read. Everything runs on the
// window's one thread, so nothing here is locked.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vq {

inline constexpr int kSlotCount = 201; // slots 0..200

struct FormState {
    // Mailbox: element s equal to 1 asks the scheduler to send slot s once.
    std::array<std::int16_t, kSlotCount> slotPending{};
    std::int16_t pollTick = 0;

    // Payload texts, read by the scheduler at send time (hex text).
    std::string controlModeWord;
    std::string speedWord;
    std::string motionModeWord;
    std::string jogWord;
    std::string axisPowerWord1, axisPowerWord2, axisPowerWord3, axisPowerWord4, axisPowerWord5, axisPowerWord6;
    std::string axisPowerAllData;
    std::string alarmClearData;
    std::string originData;
    std::string jointTargetData;
    std::string poseTargetData;
    std::string arcTargetData;
    std::string pointSpeedData;
    std::string lineSpeedData;
    std::string paramSaveData;
    std::string paramData1110, paramData1120, paramData1130, paramData1140, paramData1150, paramData1160;

    // Start address ("10 00", ...) of the block the next reply belongs to.
    std::string replyAddress;
    // Length of the reply the last request asks for (its receive threshold).
    int expectedReplyLength = 0;

    // Decoded from the status block (register 1005, 1006.., 101E..).
    std::int16_t controllerBusy = 0;
    std::array<int, 7> servoState{}; // axes 1..6; [0] unused
    std::array<int, 7> alarmCode{};  // axes 1..6; [0] unused

    // Scratch arrays filled just before a float payload is built.
    std::array<float, 3> scratchFloats3{};
    std::array<float, 6> scratchFloats6{};
    std::array<float, 13> arcFloats{};

    void raise(int slot) { slotPending.at(static_cast<std::size_t>(slot)) = 1; }
    bool due(int slot) const { return slotPending.at(static_cast<std::size_t>(slot)) == 1; }

    std::string& axisPowerWord(int axis); // 1..6
};

} // namespace vq
