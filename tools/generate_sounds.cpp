// kestrow-sounds OUTPUT_DIR: synthesises the three recorded sounds the game embeds and writes
// them as Ogg Vorbis files sound0.ogg, sound1.ogg and sound2.ogg (mono, 44 100 Hz).
//
//   sound0  the game is lost: four falling brass notes, the last one long and wavering;
//   sound1  "not good enough": a soft two-note sigh that droops at its end;
//   sound2  a success: a quick rising brass arpeggio ending on a bright held chord.
//
// Each clip is additive synthesis (harmonics with their own envelopes) through a small
// reverberation, normalised and encoded with libvorbisenc. Nothing is random and every Ogg
// stream has a fixed serial number, so two runs write the same bytes.

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using Signal = std::vector<double>;

// Equal-tempered frequency of a MIDI note number.
double NoteFrequency(double note) {
  return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// The harmonic make-up of an instrument.
struct Timbre {
  int harmonics;
  bool oddOnly;     // clarinet-like: odd harmonics only
  double rolloff;   // amplitude of harmonic k is 1 / k^rolloff at full brightness
  double dullness;  // how fast the upper harmonics fade as the note gets quieter
  double attack;    // seconds
  double release;   // seconds
  double decay;     // exponential decay per second while held (0: sustained)
};

constexpr Timbre kBrass{24, false, 1.0, 3.0, 0.035, 0.08, 0.0};
constexpr Timbre kReed{15, true, 1.3, 2.0, 0.05, 0.12, 0.0};
constexpr Timbre kBrightBrass{28, false, 0.9, 2.0, 0.012, 0.05, 0.0};
constexpr Timbre kBell{1, false, 1.0, 0.0, 0.002, 0.05, 5.0};

struct Note {
  double start;         // seconds
  double duration;      // seconds, release included
  double note;          // MIDI note number at the start
  double bend;          // semitones reached at the end, through a slow curve
  double vibratoDepth;  // semitones, growing from nothing over the note
  double vibratoRate;   // Hz
  double level;
  Timbre timbre;
};

// The loudness envelope of a note at time t (seconds from its start): a rounded attack, a hold
// with an optional decay, and a release that reaches zero at the end.
double Envelope(const Note& note, double t) {
  const Timbre& timbre = note.timbre;
  if (t < 0 || t >= note.duration) return 0;
  double level = 1.0;
  if (t < timbre.attack) level = std::sin(0.5 * kPi * t / timbre.attack);
  if (timbre.decay > 0) level *= std::exp(-timbre.decay * t);
  double untilEnd = note.duration - t;
  if (untilEnd < timbre.release) level *= 0.5 - 0.5 * std::cos(kPi * untilEnd / timbre.release);
  return level;
}

// Adds the note to the signal. The phase of each harmonic follows the gliding pitch, and the
// upper harmonics open with loudness the way a blown instrument brightens.
void AddNote(Signal& signal, const Note& note) {
  const Timbre& timbre = note.timbre;
  size_t first = static_cast<size_t>(note.start * kRate);
  size_t count = static_cast<size_t>(note.duration * kRate);
  double phase = 0;
  for (size_t i = 0; i < count && first + i < signal.size(); ++i) {
    double t = static_cast<double>(i) / kRate;
    double progress = t / note.duration;
    double bend = note.bend * progress * progress;
    double vibrato = note.vibratoDepth * progress * std::sin(2 * kPi * note.vibratoRate * t);
    double frequency = NoteFrequency(note.note + bend + vibrato);
    phase += 2 * kPi * frequency / kRate;
    double envelope = Envelope(note, t);
    if (envelope <= 0) continue;
    double sum = 0;
    for (int k = 1; k <= timbre.harmonics; ++k) {
      if (timbre.oddOnly && k % 2 == 0) continue;
      if (frequency * k > 0.45 * kRate) break;
      double brightness = std::exp(-(k - 1) * timbre.dullness * (1.0 - envelope) / 4.0);
      sum += brightness * std::sin(k * phase) / std::pow(k, timbre.rolloff);
    }
    signal[first + i] += note.level * envelope * sum;
  }
}

// A bell: a few inharmonic partials that ring and die away quickly, for sparkle.
void AddBell(Signal& signal, double start, double note, double level) {
  static constexpr double kRatios[] = {1.0, 2.76, 5.40, 8.93};
  static constexpr double kLevels[] = {1.0, 0.55, 0.3, 0.15};
  for (int p = 0; p < 4; ++p) {
    Note partial{start, 0.45, note + 12 * std::log2(kRatios[p]), 0, 0, 0, level * kLevels[p],
                 kBell};
    partial.timbre.decay = 5.0 + 3.0 * p;
    AddNote(signal, partial);
  }
}

// A one-pole low-pass filter with the given corner frequency.
void LowPass(Signal& signal, double corner) {
  double a = std::exp(-2 * kPi * corner / kRate);
  double state = 0;
  for (double& sample : signal) {
    state = (1 - a) * sample + a * state;
    sample = state;
  }
}

// A small room: four damped feedback comb filters in parallel, then two all-pass filters.
void Reverberate(Signal& signal, double wet) {
  static constexpr int kCombs[] = {1116, 1188, 1277, 1356};
  static constexpr int kAllPasses[] = {556, 441};
  Signal room(signal.size(), 0.0);
  for (int delay : kCombs) {
    std::vector<double> line(delay, 0.0);
    double damped = 0;
    for (size_t i = 0; i < signal.size(); ++i) {
      double out = line[i % delay];
      damped = 0.7 * out + 0.3 * damped;
      line[i % delay] = signal[i] + 0.78 * damped;
      room[i] += out / 4;
    }
  }
  for (int delay : kAllPasses) {
    std::vector<double> line(delay, 0.0);
    for (size_t i = 0; i < room.size(); ++i) {
      double delayed = line[i % delay];
      double input = room[i];
      line[i % delay] = input + 0.5 * delayed;
      room[i] = delayed - 0.5 * input;
    }
  }
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = (1 - wet) * signal[i] + wet * room[i];
}

// Scales the peak to `peak` of full scale and fades the last 20 ms to silence.
void Finish(Signal& signal, double peak) {
  double highest = 0;
  for (double sample : signal) highest = std::max(highest, std::fabs(sample));
  if (highest > 0) {
    for (double& sample : signal) sample *= peak / highest;
  }
  size_t fade = std::min<size_t>(signal.size(), kRate / 50);
  for (size_t i = 0; i < fade; ++i) {
    signal[signal.size() - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / fade);
  }
}

// The game is lost: Bb3, A3, Ab3 falling by semitones, then a long G3 that sags and wavers.
Signal MakeGameLost() {
  Signal signal(67690, 0.0);
  const double starts[] = {0.0, 0.30, 0.60};
  const double notes[] = {58, 57, 56};
  for (int i = 0; i < 3; ++i) {
    AddNote(signal, {starts[i] + 0.01, 0.29, notes[i], -0.25, 0, 0, 1.0, kBrass});
  }
  AddNote(signal, {0.91, 0.60, 55, -0.6, 0.35, 5.5, 1.0, kBrass});
  // A soft octave below doubles the line and makes it heavier.
  for (int i = 0; i < 3; ++i) {
    AddNote(signal, {starts[i] + 0.01, 0.29, notes[i] - 12, -0.25, 0, 0, 0.35, kReed});
  }
  AddNote(signal, {0.91, 0.60, 43, -0.6, 0.2, 5.5, 0.35, kReed});
  LowPass(signal, 3500);
  Reverberate(signal, 0.22);
  Finish(signal, 0.70);
  return signal;
}

// Not good enough: a soft F4 then a longer D4 that droops by a semitone, like a sigh.
Signal MakeNotGoodEnough() {
  Signal signal(47710, 0.0);
  AddNote(signal, {0.01, 0.30, 65, -0.15, 0, 0, 1.0, kReed});
  AddNote(signal, {0.33, 0.72, 62, -1.0, 0.25, 4.5, 1.0, kReed});
  // A low fifth under the second note darkens it.
  AddNote(signal, {0.33, 0.72, 50, -1.0, 0, 0, 0.3, kReed});
  LowPass(signal, 2800);
  Reverberate(signal, 0.2);
  Finish(signal, 0.65);
  return signal;
}

// A success: C5, E5, G5 rising quickly, then a C major chord that swells and fades, crowned by
// bells.
Signal MakeSuccess() {
  Signal signal(32116, 0.0);
  const double notes[] = {72, 76, 79};
  for (int i = 0; i < 3; ++i) {
    AddNote(signal, {0.07 * i, 0.10, notes[i], 0, 0, 0, 1.0, kBrightBrass});
  }
  Timbre held = kBrightBrass;
  held.decay = 1.6;
  held.release = 0.2;
  for (double note : {72.0, 76.0, 79.0}) {
    AddNote(signal, {0.21, 0.51, note, 0, 0.06, 6.0, 0.32, held});
  }
  AddNote(signal, {0.21, 0.51, 84, 0, 0.12, 6.0, 0.75, held});
  LowPass(signal, 6000);
  AddBell(signal, 0.21, 96, 0.30);
  AddBell(signal, 0.30, 91, 0.22);
  AddBell(signal, 0.39, 100, 0.16);
  Reverberate(signal, 0.18);
  Finish(signal, 0.72);
  return signal;
}

// Encodes the signal as one Ogg Vorbis stream with the given serial number.
bool WriteOggVorbis(const std::string& path, const Signal& signal, int serial) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, 1, kRate, 0.4f) != 0) {
    vorbis_info_clear(&info);
    std::fclose(file);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);

  bool ok = true;
  ogg_page page;
  auto writePage = [&] {
    ok = ok &&
         std::fwrite(page.header, 1, page.header_len, file) == static_cast<size_t>(page.header_len);
    ok = ok && std::fwrite(page.body, 1, page.body_len, file) == static_cast<size_t>(page.body_len);
  };

  ogg_packet identification, comments, codebooks;
  vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &codebooks);
  ogg_stream_packetin(&stream, &identification);
  ogg_stream_packetin(&stream, &comments);
  ogg_stream_packetin(&stream, &codebooks);
  while (ogg_stream_flush(&stream, &page) != 0) writePage();

  // Every block the encoder has ready becomes packets, and the packets become pages.
  auto drain = [&] {
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0) writePage();
      }
    }
  };
  constexpr size_t kChunk = 1024;
  for (size_t position = 0; position < signal.size(); position += kChunk) {
    size_t count = std::min(kChunk, signal.size() - position);
    float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
    for (size_t i = 0; i < count; ++i) buffer[0][i] = static_cast<float>(signal[position + i]);
    vorbis_analysis_wrote(&dsp, static_cast<int>(count));
    drain();
  }
  vorbis_analysis_wrote(&dsp, 0);
  drain();
  while (ogg_stream_flush(&stream, &page) != 0) writePage();

  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const Signal sounds[] = {MakeGameLost(), MakeNotGoodEnough(), MakeSuccess()};
  bool ok = true;
  for (int number = 0; number < 3; ++number) {
    const std::string path = dir + "/sound" + std::to_string(number) + ".ogg";
    if (!WriteOggVorbis(path, sounds[number], 0x4B530000 + number)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
