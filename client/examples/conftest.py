# Loads the plugin that gives the `phone` fixture (PYTHONPATH must hold the client folder).
pytest_plugins = ["zelvik.pytest_plugin"]
