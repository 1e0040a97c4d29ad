// build-data's "recipes" builder: content/captions/recipes.txt compiled into the stored program data/recipes.bin (portable).
#include "tools/data/data_builder.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "director/pictures.h"
#include "text/captions.h"
#include "text/recipes.h"

namespace {

// What follows an operation's target, one letter an operand: i an image,
// e a text entry, c a colour, n a number, p an optional position (two numbers).
struct recipe_operation {
    const char* name;
    recipe_opcode opcode;
    const char* operands;
    bool replaces;  // gives its target a new buffer: not for a texture slot
};

const recipe_operation recipe_operations[] = {
    {"S", recipe_sprite, "ec", true},
    {"I", recipe_text, "e", true},
    {"copy", recipe_copy, "i", true},
    {"x2", recipe_double, "", true},
    {"x2w", recipe_double_width, "", true},
    {"x2h", recipe_double_height, "", true},
    {"rot", recipe_rotate, "", true},
    {"mirror", recipe_mirror, "", false},
    {"flip", recipe_flip, "", false},
    {"inv", recipe_invert, "", false},
    {"release", recipe_release, "", true},
    {"glow", recipe_glow, "nnn", true},
    {"blur", recipe_blur, "nn", false},
    {"mul", recipe_multiply, "c", false},
    {"bright", recipe_brightness, "n", false},
    {"alpha", recipe_alpha, "i", false},
    {"add", recipe_add, "ip", false},
    {"sub", recipe_subtract, "ip", false},
    {"blend", recipe_blend, "ip", false},
    {"store", recipe_store, "i", false},
};

struct recipe_compiler {
    std::string path;
    int line = 0;
    std::vector<uint8_t>& out;

    bool fail(const std::string& message) const { return source_fault(path, line, message); }

    // c0..c133, a, b or t0..t28, as its operand byte; -1 when it names nothing.
    static int image_operand(const std::string& word)
    {
        if (word == "a")
            return recipe_scratch_a;
        if (word == "b")
            return recipe_scratch_b;
        if (word.size() < 2 || (word[0] != 'c' && word[0] != 't') ||
            word.find_first_not_of("0123456789", 1) != std::string::npos || word.size() > 4)
            return -1;
        int n = std::atoi(word.c_str() + 1);
        if (word[0] == 'c')
            return n < caption_slot_count ? n : -1;
        return n < texture_slot_count ? recipe_texture_first + n : -1;
    }

    static bool is_texture(int operand) { return operand >= recipe_texture_first; }

    bool number(const std::string& word, long low, long high, long& value) const
    {
        char* end = nullptr;
        value = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end || value < low || value > high)
            return fail("'" + word + "' is not a number from " + std::to_string(low) + " to " + std::to_string(high));
        return true;
    }

    void put16(long value)
    {
        out.push_back(uint8_t(value & 0xFF));
        out.push_back(uint8_t((value >> 8) & 0xFF));
    }

    bool step(std::istringstream& words)
    {
        std::string name, target_word;
        words >> name >> target_word;
        const recipe_operation* op = nullptr;
        for (const recipe_operation& candidate : recipe_operations)
            if (name == candidate.name)
                op = &candidate;
        if (!op)
            return fail("unknown operation '" + name + "'");
        const int target = image_operand(target_word);
        if (target < 0)
            return fail("'" + target_word + "' names no image (c0..c133, a, b, t0..t28)");
        if (is_texture(target) && op->replaces)
            return fail("'" + name + "' would give texture slot " + target_word + " a new buffer; copy it first");
        if (op->opcode == recipe_store && !is_texture(target))
            return fail("store writes a texture slot (t0..t28)");
        out.push_back(op->opcode);
        out.push_back(uint8_t(target));
        std::vector<std::string> rest;
        for (std::string word; words >> word;)
            rest.push_back(word);
        size_t at = 0;
        for (const char* kind = op->operands; *kind; ++kind) {
            if (*kind == 'p') {  // X Y, or nothing for 0 0
                if (rest.size() - at != 0 && rest.size() - at != 2)
                    return fail("'" + name + "' takes a position X Y or none");
                long x = 0, y = 0;
                if (at < rest.size() && !(number(rest[at], -32768, 32767, x) && number(rest[at + 1], -32768, 32767, y)))
                    return false;
                at = rest.size();
                put16(x);
                put16(y);
                continue;
            }
            if (at >= rest.size())
                return fail("'" + name + "' needs more operands");
            const std::string& word = rest[at++];
            long value = 0;
            if (*kind == 'i') {
                int source = image_operand(word);
                if (source < 0)
                    return fail("'" + word + "' names no image");
                out.push_back(uint8_t(source));
            } else if (*kind == 'e') {
                if (!number(word, 0, caption_text_count - 1, value))
                    return false;
                out.push_back(uint8_t(value));
            } else if (*kind == 'n') {
                if (!number(word, -32768, 65535, value))
                    return false;
                put16(value);
            } else {  // a colour: RRGGBB or AARRGGBB
                char* end = nullptr;
                unsigned long colour = std::strtoul(word.c_str(), &end, 16);
                if ((word.size() != 6 && word.size() != 8) || *end)
                    return fail("'" + word + "' is not a colour (RRGGBB or AARRGGBB)");
                for (int k = 0; k < 4; ++k)
                    out.push_back(uint8_t(colour >> (8 * k)));
            }
        }
        if (at != rest.size())
            return fail("'" + name + "' takes fewer operands");
        return true;
    }
};

bool build_recipes(const std::string& content_dir, std::vector<data_block_out>& out)
{
    const std::string path = content_dir + "/captions/recipes.txt";
    std::string source;
    if (!read_content(path, &source))
        return false;
    std::istringstream in(source);
    std::vector<uint8_t> program;
    recipe_compiler compiler{path, 0, program};
    for (std::string text; std::getline(in, text);) {
        ++compiler.line;
        size_t comment = text.find('#');
        std::istringstream words(text.substr(0, comment));
        std::string first;
        if (!(words >> first))
            continue;
        std::istringstream step(text.substr(0, comment));
        if (!compiler.step(step))
            return false;
    }
    program.push_back(recipe_end);
    out.push_back({"recipes.bin", program});
    return true;
}

}  // namespace

const data_builder recipes_builder{"recipes", build_recipes};
