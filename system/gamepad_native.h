// The gamepad side of the SDL native layer: SDL's game-controller part
// opened on every device, its events turned into GamepadEvents, rumble and
// mappings. Only the .cpp includes SDL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

union SDL_Event;

namespace korva::detail {

// Starts SDL's game-controller part (never again after a failure), opens
// every device present and announces it to the gamepad state. True while
// the gamepads run.
bool StartGamepads();
// Closes every device, forgets the pads and stops the part, so that the
// next StartGamepads begins afresh (reading SDL_GAMECONTROLLERCONFIG again).
void StopGamepads();

// True between a StartGamepads that succeeded and StopGamepads.
bool GamepadsRunning();
// Has SDL read the devices and look for new ones, unless it did so within
// the current tick of the coarse clock (1 to 4 ms); true when it read. The
// event pump calls it first, so device reports reach the queue as events.
bool UpdateGamepadDevices();

// Feeds one event of the pump to the gamepad state; events of other kinds,
// and every event before the gamepads start, are passed over.
void DeliverGamepadEvent(const SDL_Event& event);

// Runs the motors of the device with this id; true when it took the request.
bool RumbleGamepadDevice(int32_t device, uint16_t low, uint16_t high, uint32_t milliseconds);

// Hands checked mapping lines to the controller layer, then gives pads
// without a mapping the one that now exists. Returns how many were taken;
// `refusal` gets the controller layer's words for the first one it refused.
int32_t AddControllerMappings(const std::vector<std::string>& lines, std::string& refusal);
// The platform name mapping lines give ("Linux").
std::string ControllerPlatform();

}  // namespace korva::detail
