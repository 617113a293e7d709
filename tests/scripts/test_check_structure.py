"""The structure check on small trees written to a temporary folder: each case plants one kind of
include the check exists to refuse, or one it must accept."""
import importlib.machinery
import importlib.util
import os
import tempfile
import unittest

_script = os.path.join(os.environ.get("ZAL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                       "scripts", "check-structure")
_loader = importlib.machinery.SourceFileLoader("check_structure", _script)
_spec = importlib.util.spec_from_loader("check_structure", _loader)
check_structure = importlib.util.module_from_spec(_spec)
_loader.exec_module(check_structure)


class StructureCheck(unittest.TestCase):
    def tree(self, files):
        root = tempfile.TemporaryDirectory()
        self.addCleanup(root.cleanup)
        for path, text in files.items():
            full = os.path.join(root.name, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as fh:
                fh.write(text)
        return root.name

    def test_layered_folders_pass(self):
        root = self.tree({
            "module/a.cpp": '#include "translate/b.h"\n#include "widget/c.h"\n#include <QString>\n',
            "widget/c.h": '#include "translate/b.h"\n',
            "translate/b.h": '#include "DbDatabase.h"\n',
            "platform/oda/DbDatabase.h": "",
        })
        problems, graph = check_structure.check(root)
        self.assertEqual(problems, [])
        self.assertEqual(graph, {"module": {"translate", "widget"}, "widget": {"translate"}})

    def test_a_cycle_through_a_third_folder_is_named_with_its_includes(self):
        root = self.tree({
            "module/a.cpp": '#include "widget/c.h"\n',
            "widget/c.h": '#include "translate/b.h"\n',
            "translate/b.cpp": '\n#include "module/a.h"\n',
            "module/a.h": "",
            "translate/b.h": "",
        })
        problems, _ = check_structure.check(root)
        self.assertIn("include cycle between module/, translate/, widget/:", problems)
        self.assertIn("  translate/b.cpp:2: translate/ -> module/a.h", problems)

    def test_an_include_without_folder_is_found_beside_the_file_first(self):
        # "s.h" exists in module/ and in translate/: translate/'s own copy is meant, so no cycle.
        root = self.tree({
            "module/a.cpp": '#include "translate/s.h"\n',
            "module/s.h": "",
            "translate/s.h": "",
            "translate/t.cpp": '#include "s.h"\n',
        })
        problems, _ = check_structure.check(root)
        self.assertEqual(problems, [])

    def test_an_include_through_an_include_directory_still_counts(self):
        # widget/ reaches module/ by a bare name no folder of its own holds.
        root = self.tree({
            "module/a.cpp": '#include "widget/w.h"\n',
            "module/only_here.h": "",
            "widget/w.h": '#include "only_here.h"\n',
        })
        problems, _ = check_structure.check(root)
        self.assertTrue(any(p.startswith("include cycle between module/, widget/") for p in problems), problems)

    def test_platform_must_not_include_the_modules_folders(self):
        root = self.tree({
            "platform/host/app/x.cpp": '#include "IzalApplication.h"\n#include "fountain/f.h"\n',
            "platform/host/api/IzalApplication.h": "",
            "fountain/f.h": "",
        })
        problems, _ = check_structure.check(root)
        self.assertEqual(problems, ["platform/host/app/x.cpp:2: platform/ includes the module's fountain/f.h"])

    def test_tests_mirror_the_source_folders(self):
        root = self.tree({
            "platform/host/app/zalDrawingView.cpp": "",
            "tests/platform/host/app/zalDrawingViewTest.cpp": "TEST(DrawingView, x) {}\n",
            "tests/platform/host/app/zalHostAppTestSupport.h": "",
            "tests/common/zalTestHost.h": "",
            "tests/CMakeLists.txt": "",
        })
        problems, _ = check_structure.check(root)
        self.assertEqual(problems, [])

    def test_a_test_folder_without_its_source_folder_fails(self):
        root = self.tree({
            "module/zalAssets.cpp": "",
            "tests/module_assets/zalAssetsTest.cpp": "TEST(Assets, x) {}\n",
        })
        problems, _ = check_structure.check(root)
        self.assertEqual(problems, ["tests/module_assets/: no source folder module_assets/ for these tests"])

    def test_the_other_naming_style_fails(self):
        root = self.tree({
            "units/u.cpp": "",
            "tests/units/tst_zalUnits.cpp": "TEST(Units, x) {}\n",
            "tests/units/zalUnitsHelper.cpp": "TEST_F(Units, y) {}\n",
            "tests/units/zalUnitsProbe.cpp": "int main() { return 0; }\n",
        })
        problems, _ = check_structure.check(root)
        self.assertEqual(problems, [
            "tests/units/tst_zalUnits.cpp: test files are named <Class>Test.cpp, not tst_<Class>.cpp",
            "tests/units/zalUnitsHelper.cpp: holds tests but is not named <Class>Test.cpp",
        ])

    def test_the_command_line_fails_on_a_violation(self):
        root = self.tree({"platform/x.cpp": '#include "units/u.h"\n', "units/u.h": ""})
        self.assertEqual(check_structure.main(["check-structure", root]), 1)
        clean = self.tree({"platform/x.cpp": '#include "y.h"\n', "platform/y.h": ""})
        self.assertEqual(check_structure.main(["check-structure", clean]), 0)


if __name__ == "__main__":
    unittest.main()
