"""Where the vocoder benchmark scripts find velkcoder and velkdecoder in a build directory."""
import pathlib
import subprocess

BENCH = pathlib.Path(__file__).resolve().parent.parent


def programs_of(build):
    """coder and decoder as vocoder_common.bash sets them for the build directory."""
    script = 'here="$1"; shift; . "$here/vocoder_common.bash"; echo "$coder"; echo "$decoder"'
    done = subprocess.run(["bash", "-c", script, "bash", str(BENCH), str(build)], capture_output=True,
                          text=True, check=True)
    return done.stdout.splitlines()


def executable(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("#!/bin/sh\n")
    path.chmod(0o755)


def test_a_build_of_today_has_each_program_in_its_own_folder(tmp_path):
    for name in ("velkcoder", "velkdecoder"):
        executable(tmp_path / "bin" / name / name)
    assert programs_of(tmp_path) == [str(tmp_path / "bin/velkcoder/velkcoder"),
                                     str(tmp_path / "bin/velkdecoder/velkdecoder")]


def test_a_build_from_before_the_move_has_them_beside_the_library(tmp_path):
    for name in ("velkcoder", "velkdecoder"):
        executable(tmp_path / "vocoder" / name)
    assert programs_of(tmp_path) == [str(tmp_path / "vocoder/velkcoder"), str(tmp_path / "vocoder/velkdecoder")]


def test_a_stale_program_beside_the_library_does_not_hide_todays(tmp_path):
    for name in ("velkcoder", "velkdecoder"):
        executable(tmp_path / "vocoder" / name)
        executable(tmp_path / "bin" / name / name)
    assert programs_of(tmp_path) == [str(tmp_path / "bin/velkcoder/velkcoder"),
                                     str(tmp_path / "bin/velkdecoder/velkdecoder")]


def test_an_empty_build_names_todays_paths_for_the_scripts_to_report(tmp_path):
    assert programs_of(tmp_path) == [str(tmp_path / "bin/velkcoder/velkcoder"),
                                     str(tmp_path / "bin/velkdecoder/velkdecoder")]
