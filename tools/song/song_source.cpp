// Parsing the song's text sources in content/song/ (portable; tool side).
#include "tools/song/song.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "media/whole_file.h"

namespace {

struct source_error {
    std::string* out;
    bool operator()(const std::string& file, int line, const std::string& text) const
    {
        *out = file + ":" + std::to_string(line) + ": " + text;
        return false;
    }
};

std::string trim(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t\r");
    if (a == std::string::npos)
        return "";
    size_t b = text.find_last_not_of(" \t\r");
    return text.substr(a, b - a + 1);
}

// Drops a comment (a '#' at the start or after a blank; the '#' of a sharp
// note such as C#4 follows a letter) and surrounding blanks.
std::string strip_comment(const std::string& line)
{
    size_t at = 0;
    while ((at = line.find('#', at)) != std::string::npos && at > 0 && line[at - 1] != ' ' && line[at - 1] != '\t')
        ++at;
    return trim(line.substr(0, at));
}

bool parse_int(const std::string& text, long low, long high, long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end || v < low || v > high)
        return false;
    *value = v;
    return true;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parse_hex2(const std::string& text, int* value)
{
    if (text.size() != 2 || hex_digit(text[0]) < 0 || hex_digit(text[1]) < 0)
        return false;
    *value = hex_digit(text[0]) * 16 + hex_digit(text[1]);
    return true;
}

// "C-4", "C#4", "---" (none), "===" (key off).
bool parse_note(const std::string& text, uint8_t* note)
{
    if (text == "---") {
        *note = 0;
        return true;
    }
    if (text == "===") {
        *note = song_note_key_off;
        return true;
    }
    static const char names[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (text.size() != 3 || !std::isdigit(static_cast<unsigned char>(text[2])))
        return false;
    for (int k = 0; k < 12; ++k)
        if (text[0] == names[2 * k] && text[1] == names[2 * k + 1]) {
            int octave = text[2] - '0';
            if (octave > 7)
                return false;
            *note = uint8_t(octave * 12 + k + 1);
            return true;
        }
    return false;
}

// The volume column as a tracker shows it: "..", a volume "00".."40", or a
// command letter with one hex digit.
bool parse_volume(const std::string& text, uint8_t* volume)
{
    if (text == "..") {
        *volume = 0;
        return true;
    }
    int v;
    if (parse_hex2(text, &v)) {
        if (v > 0x40)
            return false;
        *volume = uint8_t(0x10 + v);
        return true;
    }
    static const char commands[] = "-+DUSVPLRM";  // 0x6x .. 0xFx
    if (text.size() != 2 || hex_digit(text[1]) < 0)
        return false;
    const char* at = std::strchr(commands, text[0]);
    if (!at || !*at)
        return false;
    *volume = uint8_t(((at - commands) + 6) << 4 | hex_digit(text[1]));
    return true;
}

// "..." none; a letter or digit with two hex digits; "Exy" is stored as
// effect 36 + x with parameter y.
bool parse_effect(const std::string& text, uint8_t* effect, uint8_t* parameter)
{
    if (text == "...") {
        *effect = song_no_effect;
        *parameter = 0;
        return true;
    }
    if (text.size() != 3)
        return false;
    int p;
    if (!parse_hex2(text.substr(1), &p))
        return false;
    char c = char(std::toupper(static_cast<unsigned char>(text[0])));
    int number;
    if (c >= '0' && c <= '9')
        number = c - '0';
    else if (c >= 'A' && c <= 'Z')
        number = c - 'A' + 10;
    else
        return false;
    if (number == 14) {  // E: the extended commands
        *effect = uint8_t(36 + (p >> 4));
        *parameter = uint8_t(p & 15);
    } else {
        *effect = uint8_t(number);
        *parameter = uint8_t(p);
    }
    return true;
}

bool read_lines(const std::string& path, std::vector<std::string>* lines, std::string* error)
{
    std::string text;
    if (!read_text_file(path, &text, error))
        return false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines->push_back(line);
    return true;
}

bool parse_song_header(const std::string& path, song_source* song, std::string* error)
{
    source_error fail{error};
    std::vector<std::string> lines;
    if (!read_lines(path, &lines, error))
        return false;
    bool have_channels = false;
    for (int i = 0; i < int(lines.size()); ++i) {
        std::istringstream words(strip_comment(lines[i]));
        std::string key;
        if (!(words >> key))
            continue;
        std::vector<std::string> values;
        for (std::string v; words >> v;)
            values.push_back(v);
        long v = 0;
        auto one = [&](long low, long high) {
            return values.size() == 1 && parse_int(values[0], low, high, &v);
        };
        if (key == "name") {
            song->name = values.empty() ? "" : values[0];
        } else if (key == "channels") {
            if (!one(1, song_max_channels))
                return fail(path, i + 1, "channels must be 1 to 32");
            song->channels = int(v);
            have_channels = true;
        } else if (key == "speed") {
            if (!one(1, 31))
                return fail(path, i + 1, "speed must be 1 to 31");
            song->speed = int(v);
        } else if (key == "tempo") {
            if (!one(32, 255))
                return fail(path, i + 1, "tempo must be 32 to 255");
            song->tempo = int(v);
        } else if (key == "frequency") {
            if (values.size() != 1 || (values[0] != "linear" && values[0] != "period"))
                return fail(path, i + 1, "frequency is 'linear' or 'period'");
            song->linear = values[0] == "linear";
        } else if (key == "restart") {
            if (!one(0, 255))
                return fail(path, i + 1, "restart must be 0 to 255");
            song->restart = int(v);
        } else if (key == "panning") {
            if (!one(0, 255))
                return fail(path, i + 1, "panning must be 0 to 255");
            std::fill(std::begin(song->panning), std::end(song->panning), int(v));
        } else if (key == "orders") {
            for (const std::string& o : values) {
                if (!parse_int(o, 0, 255, &v))
                    return fail(path, i + 1, "order entry '" + o + "' is not a pattern number 0 to 255");
                song->orders.push_back(int(v));
            }
        } else {
            return fail(path, i + 1, "unknown setting '" + key + "'");
        }
    }
    if (!have_channels)
        return fail(path, 1, "no channel count");
    if (song->orders.empty() || song->orders.size() > 256)
        return fail(path, 1, "the order list must have 1 to 256 entries");
    if (song->restart >= int(song->orders.size()))
        return fail(path, 1, "restart position beyond the order list");
    return true;
}

bool parse_envelope(const std::string& text, song_envelope* envelope)
{
    std::istringstream words(text);
    for (std::string point; words >> point;) {
        size_t colon = point.find(':');
        long tick, value;
        if (colon == std::string::npos || !parse_int(point.substr(0, colon), 0, 65535, &tick) ||
            !parse_int(point.substr(colon + 1), 0, 64, &value))
            return false;
        if (!envelope->points.empty() && tick <= envelope->points.back().first)
            return false;  // segments must be at least one tick long
        envelope->points.emplace_back(int(tick), int(value));
    }
    return !envelope->points.empty() && envelope->points.size() <= song_max_envelope_points &&
           envelope->points[0].first == 0;
}

bool parse_instruments(const std::string& path, song_source* song, std::string* error)
{
    source_error fail{error};
    std::vector<std::string> lines;
    if (!read_lines(path, &lines, error))
        return false;
    song_instrument* current = nullptr;
    for (int i = 0; i < int(lines.size()); ++i) {
        std::string line = strip_comment(lines[i]);
        if (line.empty())
            continue;
        if (line.front() == '[') {
            std::istringstream words(line.substr(1, line.find(']') - 1));
            long number;
            std::string word, name;
            if (line.back() != ']' || !(words >> word) || !parse_int(word, 1, 128, &number) || !(words >> name))
                return fail(path, i + 1, "an instrument starts with [NUMBER NAME]");
            if (number != long(song->instruments.size()) + 1)
                return fail(path, i + 1, "instruments must be numbered 1, 2, 3, ... in order");
            song->instruments.push_back({});
            current = &song->instruments.back();
            current->number = int(number);
            current->name = name;
            current->file = path;
            current->line = i + 1;
            continue;
        }
        if (!current)
            return fail(path, i + 1, "a setting before the first [NUMBER NAME]");
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return fail(path, i + 1, "expected NAME = VALUE");
        std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        long v;
        auto number_in = [&](long low, long high, int* field) {
            if (!parse_int(value, low, high, &v))
                return fail(path, i + 1, key + " must be " + std::to_string(low) + " to " + std::to_string(high));
            *field = int(v);
            return true;
        };
        bool ok = true;
        if (key == "volume")
            ok = number_in(0, 64, &current->volume);
        else if (key == "panning")
            ok = number_in(0, 255, &current->panning);
        else if (key == "relative_pitch")
            ok = number_in(-32768, 32767, &current->relative_pitch);
        else if (key == "fadeout")
            ok = number_in(0, 32768, &current->fadeout);
        else if (key == "vibrato_waveform")
            ok = number_in(0, 3, &current->vibrato_waveform);
        else if (key == "vibrato_sweep")
            ok = number_in(0, 127, &current->vibrato_sweep);
        else if (key == "vibrato_depth")
            ok = number_in(0, 31, &current->vibrato_depth);
        else if (key == "vibrato_rate")
            ok = number_in(0, 255, &current->vibrato_rate);
        else if (key == "volume_envelope" || key == "panning_envelope") {
            song_envelope& e = key == "volume_envelope" ? current->volume_envelope : current->panning_envelope;
            if (!parse_envelope(value, &e))
                return fail(path, i + 1, key + ": 1 to 12 points TICK:VALUE (0..64), the first at tick 0, ticks rising");
        } else if (key == "volume_sustain" || key == "panning_sustain") {
            ok = number_in(0, 11, key[0] == 'v' ? &current->volume_envelope.sustain : &current->panning_envelope.sustain);
        } else if (key == "volume_loop" || key == "panning_loop") {
            song_envelope& e = key[0] == 'v' ? current->volume_envelope : current->panning_envelope;
            long a, b;
            std::istringstream words(value);
            std::string wa, wb;
            if (!(words >> wa >> wb) || !parse_int(wa, 0, 11, &a) || !parse_int(wb, a, 11, &b))
                return fail(path, i + 1, key + ": START END point numbers");
            e.loop_start = int(a);
            e.loop_end = int(b);
        } else {
            current->synth[key] = value;  // the synthesiser's own parameters
        }
        if (!ok)
            return false;
    }
    for (const song_instrument& in : song->instruments)
        for (const song_envelope* e : {&in.volume_envelope, &in.panning_envelope}) {
            int last = int(e->points.size()) - 1;
            if ((e->sustain != 255 && e->sustain > last) || (e->loop_end != 255 && e->loop_end > last))
                return fail(path, in.line, "instrument " + in.name + ": sustain or loop point beyond the envelope's last point");
        }
    return true;
}

// A pattern file: optional comments, then one line per row,
// "RR | cell | cell | ...", a cell being "NOTE INS VOL EFF" ("C-4 01 40 W01").
// Cells missing at the end of a row are empty.
bool parse_pattern(const std::string& path, int channels, int instrument_count, song_pattern* pattern,
                   std::string* error)
{
    source_error fail{error};
    std::vector<std::string> lines;
    if (!read_lines(path, &lines, error))
        return false;
    pattern->file = path;
    for (int i = 0; i < int(lines.size()); ++i) {
        std::string line = strip_comment(lines[i]);
        if (line.empty())
            continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '|');)
            fields.push_back(trim(field));
        long row;
        if (!parse_int(fields[0], 0, 999, &row) || row != pattern->rows)
            return fail(path, i + 1, "expected row number " + std::to_string(pattern->rows));
        if (pattern->rows == song_max_rows)
            return fail(path, i + 1, "a pattern has at most 256 rows");
        if (int(fields.size()) - 1 > channels)
            return fail(path, i + 1, "channel " + std::to_string(channels) + " is out of range (the song has " +
                                         std::to_string(channels) + ", 0 to " + std::to_string(channels - 1) + ")");
        pattern->cells.resize(size_t(pattern->rows + 1) * channels);
        song_cell* cells = &pattern->cells[size_t(pattern->rows) * channels];
        for (int c = 0; c + 1 < int(fields.size()); ++c) {
            std::istringstream words(fields[c + 1]);
            std::string note, ins, vol, eff, extra;
            if (fields[c + 1].empty())
                continue;
            std::string where = "channel " + std::to_string(c) + ": ";
            if (!(words >> note >> ins >> vol >> eff) || (words >> extra))
                return fail(path, i + 1, where + "a cell is NOTE INS VOL EFF, e.g. 'C-4 01 40 ...'");
            song_cell& cell = cells[c];
            if (!parse_note(note, &cell.note))
                return fail(path, i + 1, where + "unknown note '" + note + "'");
            int instrument = 0;
            if (ins != ".." && !parse_hex2(ins, &instrument))
                return fail(path, i + 1, where + "instrument column '" + ins + "' is not two hex digits");
            if (instrument > instrument_count && instrument != 0xFF)
                return fail(path, i + 1, where + "instrument " + ins + " does not exist");
            cell.instrument = uint8_t(instrument);
            if (!parse_volume(vol, &cell.volume))
                return fail(path, i + 1, where + "volume column '" + vol + "' is not understood");
            if (!parse_effect(eff, &cell.effect, &cell.parameter))
                return fail(path, i + 1, where + "effect column '" + eff + "' is not understood");
        }
        ++pattern->rows;
    }
    if (pattern->rows == 0)
        return fail(path, 1, "the pattern has no rows");
    return true;
}

}  // namespace

bool song_parse(const std::string& song_dir, song_source* song, std::string* error)
{
    namespace fs = std::filesystem;
    if (!parse_song_header(song_dir + "/song.txt", song, error))
        return false;
    if (!parse_instruments(song_dir + "/instruments.txt", song, error))
        return false;
    int highest = *std::max_element(song->orders.begin(), song->orders.end());
    song->patterns.resize(size_t(highest) + 1);
    for (int p = 0; p <= highest; ++p) {
        char name[32];
        std::snprintf(name, sizeof name, "/patterns/%02d.txt", p);
        std::string path = song_dir + name;
        if (!fs::exists(path)) {
            *error = path + ": missing (the order list plays pattern " + std::to_string(p) + " or a later one)";
            return false;
        }
        if (!parse_pattern(path, song->channels, int(song->instruments.size()), &song->patterns[size_t(p)], error))
            return false;
    }
    return true;
}
