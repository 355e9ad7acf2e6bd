import unittest
import anticheat

class ImportTest(unittest.TestCase):
    def test_imports(self):
        self.assertTrue(anticheat.__doc__)
