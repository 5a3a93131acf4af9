"""The Python module: reference sessions byte for byte, every error as its exception, and the
calls a program makes."""
import os
import pathlib
import shutil

import pytest

import tsugihagi

SHARED = pathlib.Path(os.environ.get("TSUGIHAGI_SHARED_DIR", pathlib.Path(__file__).parents[4] / "shared"))
GOLDEN = sorted(p for p in (SHARED / "golden").iterdir() if p.is_dir())
FILES = ["idiom_hdid.data", "idiomdic.data", "hdid.data", "dic.data", "log.data"]


def empty_memory(folder: pathlib.Path) -> pathlib.Path:
    (folder / "data").mkdir(parents=True)
    for name in FILES:
        (folder / "data" / name).write_bytes(b"")
    return folder


@pytest.mark.parametrize("session", GOLDEN, ids=[p.name for p in GOLDEN])
def test_a_reference_session_replays_byte_for_byte(session, tmp_path):
    if (session / "initial").exists():
        shutil.copytree(session / "initial" / "data", tmp_path / "data")
    else:
        empty_memory(tmp_path)
    limit = (session / "max-entries").read_text().strip() if (session / "max-entries").exists() else None
    replies = []
    with tsugihagi.Bot(tmp_path, seed=int((session / "seed").read_text()),
                       max_entries=int(limit) if limit else None) as bot:
        for line in (session / "input.txt").read_bytes().decode().split("\n")[:-1]:
            if line.rstrip("\r"):
                replies.append(bot.converse(line.rstrip("\r")))
    assert "".join(r + "\n" for r in replies).encode() == (session / "expected" / "replies.txt").read_bytes()
    for name in ["log.txt", "config"] + ["data/" + f for f in FILES]:
        assert (tmp_path / name).read_bytes() == (session / "expected" / name).read_bytes(), name


def test_every_failure_raises_its_exception_and_learns_nothing(tmp_path):
    with pytest.raises(ValueError):
        tsugihagi.Bot(tmp_path / "missing")
    with pytest.raises(ValueError):
        tsugihagi.Bot(tmp_path, save="sometimes")
    empty_memory(tmp_path)
    with tsugihagi.Bot(tmp_path, seed=1, save="always") as bot:
        with pytest.raises(tsugihagi.InUseError):
            tsugihagi.Bot(tmp_path)
        bot.converse("今日はいい天気")
        before = bot.stats()
        with pytest.raises(UnicodeEncodeError):
            bot.converse("壊れた\udc80文字")
        assert bot.stats() == before
        (tmp_path / "data" / "log.data").unlink()
        (tmp_path / "data" / "log.data").mkdir()
        with pytest.raises(tsugihagi.SaveError):
            bot.save()
        (tmp_path / "data" / "log.data").rmdir()
        (tmp_path / "data" / "log.data").write_bytes(b"")
    with pytest.raises(ValueError):
        bot.converse("閉じた後")
    (tmp_path / "data" / "dic.data").unlink()
    with pytest.raises(tsugihagi.LoadError):
        tsugihagi.Bot(tmp_path)
    assert isinstance(tsugihagi.LoadError("x"), tsugihagi.Error)


def test_teaching_forgetting_and_counting(tmp_path):
    lines = tmp_path / "lines.txt"
    lines.write_text("猫が好きです\n犬が好きです\n\n猫と犬\n", encoding="utf-8")
    seen = []
    with tsugihagi.Bot(empty_memory(tmp_path / "bot"), seed=3, transcript=False) as bot:
        assert bot.learn_file(lines, progress=lambda done, total: seen.append((done, total))) == 3
        assert seen[-1] == (4, 4)
        assert bot.learn("") is False
        stats = bot.stats()
        assert stats["log_lines"] == 3 and stats["words"] > 0
        dry = bot.forget("猫", dry_run=True)
        assert bot.stats() == stats
        gone = bot.forget("猫")
        assert gone == dry and gone["log_lines"] == 2 and all("猫" in w for w in gone["words"])
        assert bot.stats()["words"] == stats["words"] - len(gone["words"])
    assert not (tmp_path / "bot" / "log.txt").exists()
    assert tsugihagi.__version__.count(".") == 2


@pytest.mark.parametrize("make, japanese, english", [
    (lambda folder: tsugihagi.Bot(folder / "missing"), "そのようなフォルダーはありません", "no such folder"),
    (lambda folder: tsugihagi.Bot(folder, save="sometimes"), "のいずれかでなければなりません",
     'save must be "config", "always" or "never"'),
], ids=["library", "module"])
def test_messages_follow_the_locales_language(tmp_path, make, japanese, english):
    import locale
    try:
        locale.setlocale(locale.LC_ALL, "ja_JP.UTF-8")
    except locale.Error:
        pytest.fail("the locale ja_JP.UTF-8 is missing (scripts/install-deps.sh test makes it)")
    try:
        with pytest.raises(ValueError, match=japanese):
            make(tmp_path)
    finally:
        locale.setlocale(locale.LC_ALL, "C")
    with pytest.raises(ValueError, match=english):
        make(tmp_path)
