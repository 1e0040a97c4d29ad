// The operations of the SDL backend, one file per kind, gathered into its table by sdl_backend.cpp (SDL2).
#pragma once

#include "platform/platform.h"

// sdl_display.cpp: window, events, display
bool sdl_window_create(const char* title);
platform_event sdl_poll_event();
void sdl_window_destroy();
void sdl_show_cursor(bool visible);
bool sdl_display_open(const platform_display_mode& mode, char* why, int why_size);
bool sdl_display_lock(uint8_t** pixels, int* pitch);
bool sdl_display_unlock();
bool sdl_display_flip();
void sdl_display_close();

// sdl_sound.cpp: the looping sound ring
bool sdl_sound_open(bool* silent);
uint32_t sdl_sound_play_cursor();
uint8_t* sdl_sound_buffer();
void sdl_sound_play();
void sdl_sound_close();
void sdl_sound_written();
uint32_t sdl_sound_output_latency_ms();

// sdl_tasks.cpp: time, and the threads the task pool runs on
uint32_t sdl_ticks_ms();
void sdl_sleep_ms(uint32_t ms);
platform_task* sdl_task_start(platform_tick_fn tick, uint32_t period_ms, bool high_priority);
bool sdl_task_stop(platform_task* task, uint32_t timeout_ms);
uint64_t sdl_largest_tick_gap_us();
