// Checks that captured sound is the module: renders the module offline with
// libxmp and finds the captured stretch in it by normalised
// cross-correlation of the mono mixes (settings such as interpolation and
// stereo separation may differ between the two; the music may not).
//
// usage: audio_match <module> <captured s16 stereo 44100 raw> <min correlation>
#include <xmp.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {
// Mono, decimated by 4 (11025 Hz): enough to tell music apart, and quick.
std::vector<float> Mono(const std::vector<int16_t>& stereo) {
    std::vector<float> out;
    for (size_t i = 0; i + 7 < stereo.size(); i += 8)
        out.push_back((stereo[i] + stereo[i + 1] + stereo[i + 2] + stereo[i + 3] + stereo[i + 4] + stereo[i + 5] +
                       stereo[i + 6] + stereo[i + 7]) / 8.0f);
    return out;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: audio_match <module> <captured.raw> <min>\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<int16_t> captured(bytes.size() / 2);
    std::memcpy(captured.data(), bytes.data(), captured.size() * 2);
    // Skip the silence before the music starts.
    size_t first = 0;
    while (first < captured.size() && std::abs(captured[first]) < 64) ++first;
    first &= ~size_t(1);
    const std::vector<int16_t> tail(captured.begin() + first, captured.end());
    const std::vector<float> cap = Mono(tail);
    const size_t window = 11025;  // one second
    if (cap.size() < window + 11025) {
        std::fprintf(stderr, "audio_match: only %zu samples of sound captured\n", cap.size());
        return 1;
    }
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module(ctx, argv[1]) != 0 || xmp_start_player(ctx, 44100, 0) != 0) {
        std::fprintf(stderr, "audio_match: libxmp cannot play %s\n", argv[1]);
        return 1;
    }
    std::vector<int16_t> render(44100 * 2 * 12);
    xmp_play_buffer(ctx, render.data(), int(render.size() * 2), 0);
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    const std::vector<float> ref = Mono(render);
    // The captured second, taken one second into the sound.
    const float* a = cap.data() + 11025;
    double aa = 0;
    for (size_t i = 0; i < window; ++i) aa += double(a[i]) * a[i];
    double best = -1;
    size_t bestLag = 0;
    for (size_t lag = 0; lag + window <= ref.size(); ++lag) {
        double ab = 0, bb = 0;
        for (size_t i = 0; i < window; ++i) {
            ab += double(a[i]) * ref[lag + i];
            bb += double(ref[lag + i]) * ref[lag + i];
        }
        const double c = ab / std::sqrt(aa * bb + 1e-9);
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    std::printf("best correlation %.3f at %.3f s of the module\n", best, bestLag / 11025.0);
    return best >= std::atof(argv[3]) ? 0 : 1;
}
