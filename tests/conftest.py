from hypothesis import HealthCheck, settings

# Shared machines are slow at times: no per-example deadline, no too-slow health check.
settings.register_profile("default", deadline=None, suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("default")
