#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The not-set marker of string options: one NUL character, distinct from the empty string.
inline const std::string NotSetMarker(1, '\0');
inline bool IsNotSet(const std::string& value) {
    return value == NotSetMarker;
}

enum TPackFilter { pfArchiver, pfComponent };

/// Operations whose member list goes through the response file (a set of flags).
enum TResFileUsage : unsigned { ruOnPack = 1, ruOnUnpack = 2, ruOnRemoveItem = 4, ruOnUpdate = 8 };

/// The options of one archive operation: the switch letters shared by the archiver libraries (−1 or the
/// NUL marker when not given) and the general options.
class TArchiverOptions {
public:
    TArchiverOptions() = default;

    /// Every letter option back to −1 or the NUL marker; jx, UserOptions, UserFileList and ResFileName
    /// cleared; PackFilter and ResFileUsage to their defaults. IncludeExtraStreams and StreamSeparator stay.
    void Reset();
    /// Copies every option of `other`, the jx lines included.
    void Assign(const TArchiverOptions& other) { *this = other; }

    int8_t a = -1, c = -1, e = -1, f = -1, h = -1, i = -1, l = -1, m = -1, n = -1, o = -1, p = -1, r = -1,
           s = -1, t = -1, u = -1;
    std::string w = NotSetMarker;
    int8_t x = -1, y = -1, z = -1, jc = -1, jd = -1, je = -1, jf = -1, jh = -1, ji = -1, jm = -1, jn = -1;
    std::string jo = NotSetMarker, job = NotSetMarker;
    int8_t jp = -1, jr = -1, jsb = -1, jsc = -1, jsd = -1, jse = -1, jsf = -1, jsl = -1, jso = -1, jss = -1,
           jst = -1, jsv = -1, jsz = -1, jw = -1;
    std::vector<std::string> jx;
    int8_t jyc = -1, jyd = -1, jyk = -1, jyn = -1, jyo = -1;
    std::string jz = NotSetMarker;
    int8_t ga = -1, gd = -1, ge = -1, gf = -1, gj = -1, gm = -1, gn = -1, go = -1, gp = -1;
    std::string gr = NotSetMarker;
    int8_t gs = -1, gu = -1, gw = -1, gya = -1, gyc = -1;
    std::string gyd = NotSetMarker, gye = NotSetMarker;
    int8_t gyo = -1, gyq = -1, gys = -1;
    std::string gyt = NotSetMarker, gyw = NotSetMarker;
    int8_t gyx = -1;

    std::string UserOptions;  ///< extra switches copied verbatim into the command
    std::string UserFileList; ///< extra text after the member names
    TPackFilter PackFilter = pfComponent;
    std::string ResFileName;
    unsigned ResFileUsage = ruOnPack | ruOnUnpack | ruOnRemoveItem;
    bool IncludeExtraStreams = true;
    std::string StreamSeparator = ";#";
};
