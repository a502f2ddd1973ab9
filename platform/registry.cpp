// Registry store: implemented by the settings work.
