// Object description files: a line-oriented text form of kxObject that a
// person can read and edit. Lines hold "key value", with "#" comments and
// blank lines allowed; width and height come first because they size the
// object's shape tables.
#include "internal.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Hue is kept as 0..65535 for 0..360 degrees, saturation and intensity as
// 0..65535 for 0..100 percent; files hold degrees and percent.
constexpr int32_t kFullScale = 65535;
constexpr int32_t kDegrees = 360;
constexpr int32_t kPercent = 100;

// Shape tables are allocated from the file's height before any shape row is
// read, so an absurd height would ask for gigabytes. No picture this library
// handles comes near this many rows.
constexpr long kMaxObjectRows = 1L << 20;

// One read of fgets: at most 1023 characters, so a longer line is read as
// two, and a shape row can be at most 1017 characters wide.
constexpr int kLineBuffer = 1024;

const char *formatWord(kxFormat format)
{
    switch (format) {
    case RGB: return "rgb";
    case HSI: return "hsi";
    case NRG: return "nrg";
    case BINARY: return "binary";
    default: return nullptr;
    }
}

bool formatFromWord(const char *word, kxFormat *format)
{
    static const struct {
        const char *word;
        kxFormat format;
    } words[] = {{"binary", BINARY}, {"hsi", HSI}, {"nrg", NRG}, {"rgb", RGB}};
    for (const auto &entry : words)
        if (strcmp(word, entry.word) == 0) {
            *format = entry.format;
            return true;
        }
    return false;
}

// strtol in base 10 (leading space and sign accepted, no digits gives 0),
// saturated to the 32-bit range that every field of the object has.
int32_t decimal(const char *text)
{
    long value = strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// value * scale / divisor in 32-bit arithmetic that wraps on overflow (as the
// file format's conversions always have), truncated toward zero; the
// boundary field keeps the low 16 bits.
uint16_t scaled(int32_t value, int32_t scale, int32_t divisor)
{
    const int32_t product = static_cast<int32_t>(static_cast<uint32_t>(value) * static_cast<uint32_t>(scale));
    return static_cast<uint16_t>(product / divisor);
}

uint16_t *boundaryField(kxObject *object, const char *key, int32_t *scale, int32_t *divisor)
{
    static const struct {
        const char *key;
        uint16_t kxObject::*field;
        int32_t divisor;  // 0: stored as read
    } keys[] = {
        {"h_min", &kxObject::h_min, kDegrees},  {"h_max", &kxObject::h_max, kDegrees},
        {"s_min", &kxObject::s_min, kPercent},  {"s_max", &kxObject::s_max, kPercent},
        {"i_min", &kxObject::i_min, kPercent},  {"i_max", &kxObject::i_max, kPercent},
        {"nr_min", &kxObject::nr_min, 0},       {"nr_max", &kxObject::nr_max, 0},
        {"ng_min", &kxObject::ng_min, 0},       {"ng_max", &kxObject::ng_max, 0},
        {"r_min", &kxObject::r_min, 0},         {"r_max", &kxObject::r_max, 0},
        {"g_min", &kxObject::g_min, 0},         {"g_max", &kxObject::g_max, 0},
        {"b_min", &kxObject::b_min, 0},         {"b_max", &kxObject::b_max, 0},
    };
    for (const auto &entry : keys)
        if (strcmp(key, entry.key) == 0) {
            *scale = entry.divisor ? kFullScale : 1;
            *divisor = entry.divisor ? entry.divisor : 1;
            return &(object->*entry.field);
        }
    return nullptr;
}

// Reader state that lives for one load.
struct ObjectReader {
    kxObject *object;
    int32_t width = -1;
    int32_t height = -1;
    int32_t rows = 0;
    bool initialised = false;

    // Applies one "key value" pair; false (message printed) to stop reading.
    bool apply(const char *key, const char *value)
    {
        if (strcmp(key, "width") == 0) {
            width = decimal(value);
            return true;
        }
        if (strcmp(key, "height") == 0) {
            height = decimal(value);
            return true;
        }
        // Every other key needs both sizes, also after the object was sized:
        // a later "width -1" unsets the width again.
        if (width == -1 || height == -1) {
            puts("kxObjectLoad: error: width and height must be the first object parameters");
            return false;
        }
        if (!initialised && !initialise()) return false;
        if (strcmp(key, "x") == 0) {
            object->x = decimal(value);
            return true;
        }
        if (strcmp(key, "y") == 0) {
            object->y = decimal(value);
            return true;
        }
        if (strcmp(key, "format") == 0) {
            if (formatFromWord(value, &object->format)) return true;
            printf("kxObjectLoad: error: unsupported format: \"%s\"\n", value);
            return false;
        }
        if (strcmp(key, "shape") == 0) return shapeRow(value);
        int32_t scale, divisor;
        if (uint16_t *field = boundaryField(object, key, &scale, &divisor)) {
            *field = scaled(decimal(value), scale, divisor);
            return true;
        }
        printf("kxObjectLoad: error: unknown parameter: \"%s\"\n", key);
        return false;
    }

    // Sizes the object at the first key other than width and height.
    bool initialise()
    {
        if (width < 0 || height < 0 || height > kMaxObjectRows) {
            puts("kxObjectLoad: error: illegal object size");
            return false;
        }
        if (kxObjectInit(object, width, height) < 0) {
            puts("kxObjectLoad: error: could not initialize object");
            return false;
        }
        initialised = true;
        return true;
    }

    // "..xxx." gives offset 2 and length 3; what follows the run is not examined.
    bool shapeRow(const char *row)
    {
        if (rows >= object->height) {
            puts("kxObjectLoad: error: too many shape data rows");
            return false;
        }
        // A width given after initialisation still sets the expected row length.
        if (strlen(row) != static_cast<size_t>(width) || width < 0) {
            printf("kxObjectLoad: error: shape data row does not match width=%d:\n  %s\n", width, row);
            return false;
        }
        int32_t offset = 0;
        while (row[offset] == '.') ++offset;
        int32_t length = 0;
        while (row[offset + length] == 'x') ++length;
        object->shape_offset[rows] = offset;
        object->shape_length[rows] = length;
        ++rows;
        return true;
    }
};

// Key and value of a parameter line; false when the line has no value.
bool splitParameter(char *line, char *key, char *value)
{
    if (char *comment = strchr(line, '#')) *comment = '\0';
    key[0] = value[0] = '\0';
    return sscanf(line, "%1023s %1023s", key, value) == 2;
}

void writeRun(FILE *file, int32_t count, char c)
{
    for (int32_t i = 0; i < count; ++i) putc(c, file);
}

void writeBoundaries(FILE *file, const kxObject *object)
{
    const auto degrees = [](uint16_t v) { return v * kDegrees / kFullScale; };
    const auto percent = [](uint16_t v) { return v * kPercent / kFullScale; };
    switch (object->format) {
    case HSI:
        fprintf(file, "h_min %3d # deg\n", degrees(object->h_min));
        fprintf(file, "h_max %3d # deg\n", degrees(object->h_max));
        fprintf(file, "s_min %3d # percent\n", percent(object->s_min));
        fprintf(file, "s_max %3d # percent\n", percent(object->s_max));
        fprintf(file, "i_min %3d # percent\n", percent(object->i_min));
        fprintf(file, "i_max %3d # percent\n", percent(object->i_max));
        break;
    case NRG:
        fprintf(file, "nr_min %3d # 0-255\n", object->nr_min);
        fprintf(file, "nr_max %3d # 0-255\n", object->nr_max);
        fprintf(file, "ng_min %3d # 0-255\n", object->ng_min);
        fprintf(file, "ng_max %3d # 0-255\n", object->ng_max);
        break;
    case RGB:
        fprintf(file, "r_min %3d # 0-255\n", object->r_min);
        fprintf(file, "r_max %3d # 0-255\n", object->r_max);
        fprintf(file, "g_min %3d # 0-255\n", object->g_min);
        fprintf(file, "g_max %3d # 0-255\n", object->g_max);
        fprintf(file, "b_min %3d # 0-255\n", object->b_min);
        fprintf(file, "b_max %3d # 0-255\n", object->b_max);
        break;
    default:  // BINARY: a shape only
        break;
    }
}

// One shape row of exactly `width` characters. Entries the object never had
// set (rows a file did not give) may hold anything, so each run is kept
// inside the row instead of trusting the counts.
void writeShapeRow(FILE *file, int32_t width, int32_t offset, int32_t length)
{
    const int32_t dots = offset < 0 ? 0 : (offset > width ? width : offset);
    const int32_t room = width - dots;
    const int32_t run = length < 0 ? 0 : (length > room ? room : length);
    fputs("shape ", file);
    writeRun(file, dots, '.');
    writeRun(file, run, 'x');
    writeRun(file, room - run, '.');
    putc('\n', file);
}

} // namespace

int32_t kxObjectSave(const kxObject *object, const char *path)
{
    if (!object) {
        puts("kxObjectSave: error: NULL object");
        return -1;
    }
    if (object->defined == 0) {
        puts("kxObjectSave: error: object is undefined");
        return -1;
    }
    const char *word = formatWord(object->format);
    if (!word) {
        puts("kxObjectSave: error: unsupported object format");
        return -1;
    }
    if (object->height > 0 && (!object->shape_offset || !object->shape_length)) {
        puts("kxObjectSave: error: object has no shape data");
        return -1;
    }
    if (!path) {
        puts("kxObjectSave: error: NULL path");
        return -1;
    }
    printf("Writing to %s\n", path);
    FILE *file = fopen(path, "w");
    if (!file) {
        perror("kxObjectSave: unable to create file");
        return -1;
    }
    fprintf(file, "#\n# %s -- Kelvix object file\n#\n", path);
    fprintf(file, "\n# properties\n");
    fprintf(file, "width %d\nheight %d\nx %d\ny %d\n", object->width, object->height, object->x,
            object->y);
    fprintf(file, "format %s\n", word);
    fprintf(file, "\n# color boundaries\n");
    writeBoundaries(file, object);
    fprintf(file, "\n# shape data\n");
    const int32_t width = object->width > 0 ? object->width : 0;
    for (int32_t row = 0; row < object->height; ++row)
        writeShapeRow(file, width, object->shape_offset[row], object->shape_length[row]);
    if (fclose(file) != 0) {
        perror("kxObjectSave: close error");
        return -1;
    }
    return 0;
}

int32_t kxObjectLoad(kxObject *object, const char *path)
{
    if (!object) {
        puts("kxObjectLoad: error: NULL object");
        return -1;
    }
    FILE *file = path ? fopen(path, "r") : nullptr;
    if (!file) {
        if (!path) errno = EINVAL;
        perror("kxObjectLoad: unable to open file");
        return -1;
    }
    ObjectReader reader{object};
    char line[kLineBuffer];
    char key[kLineBuffer];
    char value[kLineBuffer];
    bool ok = true;
    while (ok && fgets(line, sizeof line, file)) {
        char *start = line;
        while (isspace(static_cast<unsigned char>(*start))) ++start;
        if (*start == '\0' || *start == '#') continue;
        if (!splitParameter(start, key, value)) {
            printf("kxObjectLoad: error: illegal parameter: \"%s\"\n", key);
            ok = false;
        } else {
            ok = reader.apply(key, value);
        }
    }
    // A file that cannot be read to its end (a directory, an I/O error) is
    // not a complete description.
    if (ok && ferror(file)) {
        perror("kxObjectLoad: read error");
        ok = false;
    }
    if (ok) object->defined = 1;
    if (fclose(file) != 0) {
        perror("kxObjectLoad: close error");
        return -1;
    }
    return ok ? 0 : -1;
}
