#pragma once

namespace core {

// Exit status of websvr, for the parent program that started it.
inline constexpr int EXIT_ORDERLY = 0;       // stop asked for: signal, parent gone, menu
inline constexpr int EXIT_STARTUP_ERROR = 1; // an error ended the start-up (reported, no shutdown)
inline constexpr int EXIT_START_FAILED =
    2; // start given up: queues, application folder, data server
inline constexpr int EXIT_RUNTIME_ERROR = 3; // an error after start-up reached the error handler
inline constexpr int EXIT_NO_LISTENER = 4;   // a hidden run could not listen (port taken, none set)

} // namespace core
