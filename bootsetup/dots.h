#pragma once

// The activity indicator of a long step: the message, then one "." a
// second until stop_dots ends the line.
void start_dots(const char* message);
void stop_dots();
