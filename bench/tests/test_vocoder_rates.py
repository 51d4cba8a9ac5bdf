"""The F0 comparison of the sampling-rate benchmark, on tracks with known agreement."""
import pathlib
import sys

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
import vocoder_rates  # noqa: E402

U = -1e10


def test_voicing_and_gross_differences_are_counted_on_the_common_frames():
    # F0 differences relative to the second (reference) track: frame 1 19 % above, frames 2 and
    # 4 25 % above, frame 5 20.6 % below; frame 7 voiced in b only; b's last frame has no pair.
    a = np.log([100, 100, 100, 200, 200, 100]).tolist() + [U, U, U]
    b = np.log([100, 84, 80, 200, 160, 126]).tolist() + [U, np.log(150), U, np.log(99)]
    assert vocoder_rates.compare_f0(np.array(a), np.array(b)) == (9, 8, 6, 3)


def test_identical_tracks_agree_fully():
    a = np.array([U, np.log(120.0), np.log(130.0), U])
    assert vocoder_rates.compare_f0(a, a.astype(np.float32)) == (4, 4, 2, 0)
