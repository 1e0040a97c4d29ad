// The operations of the Win32 backend, one file per kind, gathered into its
// table by win32_backend.cpp (USER32, KERNEL32, WINMM, DirectDraw, DirectSound).
#pragma once

#include <windows.h>

#include "platform/platform.h"

// win32_window.cpp: the window class, the window and its messages
extern HWND win32_main_window;
extern DWORD win32_window_error;  // why CreateWindowExA failed
bool win32_window_create(const char* title);
platform_event win32_poll_event();
void win32_window_destroy();
void win32_show_cursor(bool visible);

// win32_display.cpp: DirectDraw
bool win32_display_open(const platform_display_mode& mode, char* why, int why_size);
bool win32_display_lock(uint8_t** pixels, int* pitch);
bool win32_display_unlock();
bool win32_display_flip();
void win32_display_close();
// The picture's place in a client area of `width` x `height`: as large as
// fits, 4:3 kept, centred.
RECT win32_picture_rect(int width, int height);

// win32_sound.cpp: DirectSound
bool win32_sound_open(bool* silent);
uint32_t win32_sound_play_cursor();
uint8_t* win32_sound_buffer();
// Copies what the streaming step wrote into the ring to the device; the
// streaming step calls it (platform_sound_written) after every step.
void win32_sound_flush();
void win32_sound_play();
void win32_sound_close();

// win32_tasks.cpp: the tick counter, and the multimedia timer and threads the task pool runs on
uint32_t win32_ticks_ms();
void win32_sleep_ms(uint32_t ms);
platform_task* win32_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
bool win32_task_stop(platform_task* task, uint32_t timeout_ms);
uint64_t win32_largest_tick_gap_us();
