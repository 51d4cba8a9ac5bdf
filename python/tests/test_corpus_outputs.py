"""velkcorpus writes its files as the programs write theirs: through symbolic links, and never over
a file that may not be written."""
import os
import stat

from conftest import SAMPLE_FILES
from corpus_support import corpus_command


def one_item_tree(root):
    src = root / "src"
    src.mkdir()
    (src / "a.wav").write_bytes(SAMPLE_FILES[0].read_bytes())
    return src


def test_tables_records_and_features_are_written_through_links(tmp_path):
    src = one_item_tree(tmp_path)
    out, elsewhere = tmp_path / "out", tmp_path / "elsewhere"
    out.mkdir()
    elsewhere.mkdir()
    (out / "summary.tsv").symlink_to(elsewhere / "summary.tsv")
    (out / "a.cc").symlink_to(elsewhere / "a.cc")
    done = corpus_command("encode", src, out)
    assert done.returncode == 0, done
    for name in ("summary.tsv", "a.cc"):
        assert (out / name).is_symlink(), name
        assert (elsewhere / name).stat().st_size > 0, name
    features = tmp_path / "features"
    features.mkdir()
    (features / "manifest.jsonl").symlink_to(elsewhere / "manifest.jsonl")
    done = corpus_command("features", src, features, "--features=f0")
    assert done.returncode == 0, done
    assert (features / "manifest.jsonl").is_symlink()
    assert '"a"' in (elsewhere / "manifest.jsonl").read_text(encoding="utf-8")


def test_a_write_protected_output_fails_its_item_and_stays(tmp_path):
    src = one_item_tree(tmp_path)
    out = tmp_path / "out"
    out.mkdir()
    protected = out / "a.lf0"
    protected.write_bytes(b"old")
    protected.chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    done = corpus_command("encode", src, out)
    assert done.returncode == 1, done
    assert protected.read_bytes() == b"old"
    assert not (out / "a.cc").exists() and not (out / "a.lf0.json").exists()
    assert "Permission denied" in (out / "failures.tsv").read_text(encoding="utf-8")
    assert not [p for p in os.listdir(out) if p.endswith(".part")]
