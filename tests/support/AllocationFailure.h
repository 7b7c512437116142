#pragma once

// Makes `new (std::nothrow)` run out of memory on purpose, so that tests can
// check the null answers of Clone, Interpolate and the tree factory.
//
// While a NothrowNewFailure lives, the nothrow forms of operator new and
// operator new[] on the calling thread succeed `succeeding` more times and
// then answer null, every time, until it is destroyed. Throwing `new` is not
// affected. The test program replaces the two nothrow operators for this; they
// forward to the ordinary operator new, so the sanitizer still sees every
// allocation and its release.
namespace vxrp_test {

class NothrowNewFailure {
  public:
    explicit NothrowNewFailure(int succeeding = 0);
    ~NothrowNewFailure();
    NothrowNewFailure(const NothrowNewFailure&) = delete;
    NothrowNewFailure& operator=(const NothrowNewFailure&) = delete;

  private:
    int m_nSaved;
};

}  // namespace vxrp_test
