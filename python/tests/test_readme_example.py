"""The README's Python example runs as printed and writes a model that uma-check passes."""

import os
import re
import subprocess

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def test_the_readme_example_writes_a_model_uma_check_passes(tmp_path, sample):
    readme = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    section = readme[readme.index("## Python"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    code = code.replace("build/sample/beam.uma", sample)
    subprocess.run(["/usr/bin/python3", "-c", code], cwd=tmp_path, check=True,
                   env=dict(os.environ))
    check = subprocess.run([os.environ["UMA_CHECK"], str(tmp_path / "tiny.uma")],
                           capture_output=True, text=True)
    assert check.returncode == 0, check.stdout + check.stderr
    assert "result        0 errors, 0 warnings" in check.stdout, check.stdout
    assert "spectrum      1 rigid-body modes" in check.stdout, check.stdout
    assert "frequencies   (cycles per s) 0 6.16404\n" in check.stdout, check.stdout
