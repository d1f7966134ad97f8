pytest_plugins = ["zelvik.pytest_plugin"]
