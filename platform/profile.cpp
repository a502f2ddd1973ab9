// Profile files: implemented by the settings work.
