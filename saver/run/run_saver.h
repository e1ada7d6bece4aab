// Run mode (/s): plays the configured playlist through the player library until the
// user or Windows ends the screen saver.
#pragma once

struct Settings;

// The whole run; installFolder is the installation folder (the cache lies below it).
void RunSaver(Settings &settings, const wchar_t *installFolder);
